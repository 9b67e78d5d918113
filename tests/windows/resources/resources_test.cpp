// Reads Ostrel's resources back from a linked executable, as raw resource data, and checks them
// against the texts of res/ and the layout the program's code relies on.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "base/utf8.h"
#include "res/resource.h"
#include "res/string_table.h"
#include "res/version.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr WORD kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr DWORD kNoId = static_cast<DWORD>(-1);
// Predefined window classes, as ReadNameOrOrdinal gives their atoms.
const wchar_t kButton[] = L"#128";
const wchar_t kEdit[] = L"#129";
const wchar_t kStatic[] = L"#130";

// The executables to read: the one named by OSTREL_EXE_UNDER_TEST, or those of this build.
std::vector<std::wstring> ExecutablesUnderTest() {
    if (const wchar_t* named = _wgetenv(L"OSTREL_EXE_UNDER_TEST"); named && *named) return {named};
    std::vector<std::wstring> paths{ostrel::FromUtf8(OSTREL_RESOURCE_PROBE)};
#ifdef OSTREL_PROGRAM
    paths.push_back(ostrel::FromUtf8(OSTREL_PROGRAM));
#endif
    return paths;
}

// Reads from one resource's bytes; running past the end throws.
class ByteReader {
  public:
    ByteReader(const BYTE* data = nullptr, size_t size = 0) : data_(data), size_(size) {}

    const BYTE* data() const { return data_; }
    size_t position() const { return position_; }
    size_t remaining() const { return size_ - position_; }
    // The padding to the next 4-byte boundary (which the end of the data may cut short).
    size_t Padding() const { return std::min((4 - position_ % 4) % 4, remaining()); }
    bool AtEnd() const { return remaining() == Padding(); }
    void AlignTo4() { Skip(Padding()); }
    void Skip(size_t count) { Take(count); }

    // A little-endian value, or a structure whose first `size` bytes are the data's.
    template <typename T>
    T Read(size_t size = sizeof(T)) {
        T value{};
        memcpy(&value, Take(size), size);
        return value;
    }
    uint8_t Byte() { return Read<uint8_t>(); }
    uint16_t Word() { return Read<uint16_t>(); }
    uint32_t Dword() { return Read<uint32_t>(); }
    int16_t Short() { return Read<int16_t>(); }
    // A null-terminated UTF-16 text.
    std::wstring WideString() { return TextFrom(Word()); }
    // A name-or-ordinal field of a dialog template: the name, or "#n" for ordinal n.
    std::wstring NameOrOrdinal() {
        const uint16_t first = Word();
        return first == 0xFFFF ? L"#" + std::to_wstring(Word()) : TextFrom(first);
    }

  private:
    std::wstring TextFrom(wchar_t c) {
        std::wstring text;
        for (; c != 0; c = Word()) text.push_back(c);
        return text;
    }
    const BYTE* Take(size_t count) {
        if (count > remaining()) throw std::out_of_range("resource data ends early");
        position_ += count;
        return data_ + position_ - count;
    }

    const BYTE* data_;
    size_t size_;
    size_t position_ = 0;
};

// The raw data of a U.S. English resource; a missing one fails the test and reads as empty.
ByteReader Find(HMODULE module, LPCWSTR type, UINT id) {
    HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(id), kUsEnglish);
    const void* data = found ? LockResource(LoadResource(module, found)) : nullptr;
    if (data) return {static_cast<const BYTE*>(data), SizeofResource(module, found)};
    ADD_FAILURE() << "no resource " << id << " of type " << reinterpret_cast<ULONG_PTR>(type);
    return {};
}

// Dialog templates (DLGTEMPLATEEX and DLGITEMTEMPLATEEX)

// style, extended style, cx, cy, title (x and y are left to the dialog manager)
using DialogFrame = std::tuple<DWORD, DWORD, short, short, std::wstring>;
// point size, weight, italic, character set, face: present with DS_SETFONT
using DialogFont = std::tuple<WORD, WORD, BYTE, BYTE, std::wstring>;
const DialogFont kShellDlg8{8, 0, 0, 1, L"MS Shell Dlg"};
// id, class, text, style, x, y, cx, cy
using Control = std::tuple<DWORD, std::wstring, std::wstring, DWORD, short, short, short, short>;
struct Dialog {
    DialogFrame frame;
    std::vector<Control> controls;
    DialogFont font{};  // none without DS_SETFONT
};

const std::map<WORD, Dialog> kDialogs{
    {IDD_ABOUTBOX,
     {{0x80C800C8, 0, 215, 62, L"" OSTREL_ABOUT_TITLE},
      {{kNoId, kStatic, L"" OSTREL_ABOUT_PRODUCT_LINE, 0x50020080, 42, 14, 114, 8},
       {kNoId, kStatic, L"" OSTREL_COPYRIGHT, 0x50020000, 42, 26, 166, 8},
       {IDOK, kButton, L"" OSTREL_ABOUT_OK, 0x50030001, 158, 41, 50, 14}}}},
    {IDD_OSTREL_DIALOG,
     {{0x90C800C8, 0x00040000, 320, 185, L"" OSTREL_MAIN_TITLE},
      {{kNoId, kStatic, L"" OSTREL_MAIN_INTRO, 0x5002000C, 7, 7, 305, 19},
       {kNoId, kStatic, L"" OSTREL_MAIN_SOURCE_LABEL, 0x50020000, 7, 42, 67, 8},
       {IDC_SOURCE_EDIT, kEdit, L"", 0x50810080, 75, 38, 221, 14},
       {IDC_BROWSE_SOURCE, kButton, L"" OSTREL_MAIN_BROWSE, 0x50010000, 296, 38, 16, 14},
       {kNoId, kStatic, L"" OSTREL_MAIN_TARGET_LABEL, 0x50020000, 7, 64, 66, 8},
       {IDC_TARGET_EDIT, kEdit, L"", 0x50810080, 75, 60, 221, 14},
       {IDC_BROWSE_TARGET, kButton, L"" OSTREL_MAIN_BROWSE, 0x50010000, 296, 60, 16, 14},
       {IDC_CONVERT, kButton, L"" OSTREL_MAIN_CONVERT, 0x50010000, 85, 164, 50, 14},
       {IDCANCEL, kButton, L"" OSTREL_MAIN_CANCEL, 0x50010000, 183, 164, 50, 14},
       {kNoId, kStatic, L"" OSTREL_MAIN_RESULTS_LABEL, 0x50020000, 7, 83, 27, 8},
       {IDC_RESULTS_EDIT, kEdit, L"", 0x50A10884, 7, 92, 305, 71}}}},
};

// Reads an extended template; the fields Ostrel leaves empty (help ids, extended styles of the
// controls, menu, class, creation data) are checked on the way.
Dialog ReadDialog(ByteReader r) {
    EXPECT_EQ(r.Word(), 1u) << "template version";
    EXPECT_EQ(r.Word(), 0xFFFFu) << "not an extended template";
    EXPECT_EQ(r.Dword(), 0u) << "help id";
    const DWORD exStyle = r.Dword(), style = r.Dword();
    const WORD count = r.Word();
    r.Skip(4);  // x and y
    const short cx = r.Short(), cy = r.Short();
    EXPECT_EQ(r.NameOrOrdinal(), L"") << "menu";
    EXPECT_EQ(r.NameOrOrdinal(), L"") << "window class";
    Dialog dialog{{style, exStyle, cx, cy, r.WideString()}, {}, {}};
    if (style & DS_SETFONT) dialog.font = {r.Word(), r.Word(), r.Byte(), r.Byte(), r.WideString()};
    for (WORD i = 0; i < count; ++i) {
        r.AlignTo4();
        EXPECT_EQ(r.Dword(), 0u) << "help id of control " << i;
        EXPECT_EQ(r.Dword(), 0u) << "extended style of control " << i;
        const DWORD controlStyle = r.Dword();
        const short x = r.Short(), y = r.Short(), width = r.Short(), height = r.Short();
        const DWORD id = r.Dword();
        const std::wstring windowClass = r.NameOrOrdinal(), text = r.NameOrOrdinal();
        dialog.controls.emplace_back(id, windowClass, text, controlStyle, x, y, width, height);
        EXPECT_EQ(r.Word(), 0u) << "creation data of control " << i;
    }
    EXPECT_TRUE(r.AtEnd()) << "data after the last control";
    return dialog;
}

// Version block: every node by its path of keys, text values as they are, binary ones widened
// byte by byte.

using VersionValues = std::map<std::wstring, std::wstring>;

void ReadVersionNode(ByteReader& r, const std::wstring& parent, VersionValues& values) {
    r.AlignTo4();
    const size_t end = r.position() + r.Word();
    const WORD valueLength = r.Word(), type = r.Word();
    const std::wstring path = parent + r.WideString();
    r.AlignTo4();
    // A text's length counts characters with the terminating null, a binary value's bytes.
    std::wstring value;
    for (WORD i = 0; i < valueLength; ++i) value.push_back(type == 1 ? r.Word() : r.Byte());
    while (type == 1 && !value.empty() && value.back() == L'\0') value.pop_back();
    EXPECT_TRUE(values.emplace(path, value).second) << "two nodes " << ostrel::ToUtf8(path);
    while (r.position() + r.Padding() < end) ReadVersionNode(r, path + L"/", values);
    EXPECT_LE(r.position(), end) << "version node overruns its length";
}

// The two 32-bit halves of a version text "a.b.c.d", as VS_FIXEDFILEINFO holds them.
std::pair<DWORD, DWORD> VersionHalves(const wchar_t* text) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    EXPECT_EQ(swscanf(text, L"%u.%u.%u.%u", &a, &b, &c, &d), 4) << "version text";
    return {MAKELONG(b, a), MAKELONG(d, c)};
}

// Manifest

// The name="value" attributes of each element with this name, in document order.
using Attributes = std::map<std::string, std::string>;
std::vector<Attributes> ElementsNamed(const std::string& xml, const std::string& name) {
    std::vector<Attributes> elements;
    const std::regex element("<" + name + "((?:\\s[^>]*)?)>");
    const std::regex attribute("([A-Za-z_:][\\w.:-]*)\\s*=\\s*\"([^\"]*)\"");
    for (std::sregex_iterator it(xml.begin(), xml.end(), element), end; it != end; ++it) {
        const std::string body = (*it)[1];
        elements.emplace_back();
        for (std::sregex_iterator a(body.begin(), body.end(), attribute); a != end; ++a) {
            elements.back()[(*a)[1]] = (*a)[2];
        }
    }
    return elements;
}

// The processorArchitecture the manifest must name: the machine of the PE header (an x86
// dependency in an x64 process, or the reverse, does not load).
std::string ManifestArchitecture(const std::wstring& path) {
    const std::string pe = ostrel::test::ReadBytes(path).value_or("");
    ByteReader r(reinterpret_cast<const BYTE*>(pe.data()), pe.size());
    r.Skip(0x3C);
    r.Skip(r.Dword() - 0x40);  // to the NT headers
    EXPECT_EQ(r.Dword(), 0x00004550u) << "PE signature";
    const WORD machine = r.Word();
    return machine == IMAGE_FILE_MACHINE_I386    ? "x86"
           : machine == IMAGE_FILE_MACHINE_AMD64 ? "amd64"
                                                 : "unknown machine";
}

// One image of an icon group (GRPICONDIRENTRY: 14 bytes, the last field unaligned).
struct IconImage {
    BYTE width, height, colourCount, reserved;
    WORD planes, bits;
    DWORD bytes;
    WORD id;
};

std::vector<IconImage> ReadIconGroup(ByteReader r) {
    EXPECT_EQ(r.Dword(), 0x00010000u) << "not an icon group";  // reserved, then type 1
    std::vector<IconImage> images(r.Word());
    for (IconImage& image : images) image = r.Read<IconImage>(14);
    EXPECT_TRUE(r.AtEnd()) << "data after the icon group";
    return images;
}

// Checks one RT_ICON image: a DIB of the group entry's size and depth, then its AND mask.
void ExpectIconImage(HMODULE module, const IconImage& entry) {
    SCOPED_TRACE(testing::Message() << int{entry.width} << " pixels, " << entry.bits << " bpp");
    ByteReader r = Find(module, RT_ICON, entry.id);
    ASSERT_EQ(r.remaining(), entry.bytes) << "image size against the group";
    const auto h = r.Read<BITMAPINFOHEADER>();
    const LONG size = entry.width;
    EXPECT_EQ(std::make_tuple(h.biSize, h.biWidth, h.biHeight, h.biPlanes, h.biBitCount),
              std::make_tuple(DWORD{sizeof h}, size, 2 * size, WORD{1}, entry.bits));
    EXPECT_EQ(h.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_TRUE(entry.bits == 32 || h.biClrUsed == 0 || h.biClrUsed == 256) << h.biClrUsed;
    // Colours then the AND mask, each row padded to 32 bits; 8-bit images carry 256 colours.
    const size_t palette = entry.bits == 8 ? 4 * 256 : 0;
    const size_t colours = ((size * entry.bits + 31) / 32) * 4 * size;
    const size_t mask = ((size + 31) / 32) * 4 * size;
    EXPECT_EQ(r.remaining(), palette + colours + mask) << "image data";
}

// "type name" of each resource, with the languages it exists in.
using ResourceLanguages = std::map<std::wstring, std::set<WORD>>;

std::wstring ResourceKey(LPCWSTR type, LPCWSTR name) {
    const auto text = [](LPCWSTR id) {
        return IS_INTRESOURCE(id) ? L"#" + std::to_wstring(LOWORD(id)) : std::wstring(id);
    };
    return text(type) + L" " + text(name);
}

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR found) {
    (*reinterpret_cast<ResourceLanguages*>(found))[ResourceKey(type, name)].insert(language);
    return TRUE;
}

BOOL CALLBACK AddName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR found) {
    EnumResourceLanguagesExW(module, type, name, AddLanguage, found, RESOURCE_ENUM_LN, 0);
    return TRUE;
}

BOOL CALLBACK AddType(HMODULE module, LPWSTR type, LONG_PTR found) {
    EnumResourceNamesExW(module, type, AddName, found, RESOURCE_ENUM_LN, 0);
    return TRUE;
}

}  // namespace

class Resources : public testing::TestWithParam<std::wstring> {
  protected:
    void SetUp() override {
        ASSERT_NE(module_, nullptr) << "cannot load " << ostrel::ToUtf8(GetParam())
                                    << " as a data file, error " << GetLastError();
    }
    ~Resources() override {
        if (module_) FreeLibrary(module_);
    }
    ByteReader Find(LPCWSTR type, UINT id) const { return ::Find(module_, type, id); }

    const HMODULE module_ = LoadLibraryExW(
        GetParam().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
};

TEST_P(Resources, DialogTemplatesAreExact) {
    for (const auto& [id, expected] : kDialogs) {
        SCOPED_TRACE(testing::Message() << "dialog " << id);
        const Dialog dialog = ReadDialog(Find(RT_DIALOG, id));
        EXPECT_EQ(dialog.frame, expected.frame);
        EXPECT_EQ(dialog.font, kShellDlg8);
        EXPECT_EQ(dialog.controls.size(), expected.controls.size()) << "number of controls";
        for (size_t i = 0; i < std::min(dialog.controls.size(), expected.controls.size()); ++i) {
            EXPECT_EQ(dialog.controls[i], expected.controls[i]) << "control " << i;
        }
    }
}

TEST_P(Resources, StringTableHoldsExactlyTheResourceStrings) {
    std::map<UINT, std::wstring> expected, found;
#define OSTREL_EXPECT_STRING(id, text) expected[id] = L"" text;
    OSTREL_RESOURCE_STRINGS(OSTREL_EXPECT_STRING)
#undef OSTREL_EXPECT_STRING
    std::set<UINT> blocks;
    for (const auto& entry : expected) blocks.insert(entry.first / 16 + 1);
    for (UINT block : blocks) {
        ByteReader reader = Find(RT_STRING, block);
        for (UINT index = 0; index < 16; ++index) {
            std::wstring text(reader.Word(), L'\0');
            for (wchar_t& c : text) c = reader.Word();
            if (!text.empty()) found[(block - 1) * 16 + index] = text;
        }
        EXPECT_TRUE(reader.AtEnd()) << "data after string block " << block;
    }
    EXPECT_EQ(found, expected);
}

TEST_P(Resources, VersionBlockHasFixedPartStringsAndTranslation) {
    ByteReader reader = Find(RT_VERSION, VS_VERSION_INFO);
    VersionValues values;
    ReadVersionNode(reader, L"", values);
    const std::wstring fixedBytes = values[L"VS_VERSION_INFO"];
    values.erase(L"VS_VERSION_INFO");
    ASSERT_EQ(fixedBytes.size(), sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO f;
    std::copy(fixedBytes.begin(), fixedBytes.end(), reinterpret_cast<BYTE*>(&f));
    const auto file = VersionHalves(L"" OSTREL_FILE_VERSION_TEXT);
    const auto product = VersionHalves(L"" OSTREL_PRODUCT_VERSION_TEXT);
    EXPECT_EQ(std::make_tuple(f.dwSignature, f.dwFileVersionMS, f.dwFileVersionLS,
                              f.dwProductVersionMS, f.dwProductVersionLS, f.dwFileFlagsMask),
              std::make_tuple(0xFEEF04BDul, file.first, file.second, product.first, product.second,
                              0x3Ful));
    EXPECT_EQ(std::make_tuple(f.dwFileFlags, f.dwFileOS, f.dwFileType, f.dwFileSubtype,
                              f.dwFileDateMS, f.dwFileDateLS),
              std::make_tuple(0ul, DWORD{VOS__WINDOWS32}, DWORD{VFT_APP}, 0ul, 0ul, 0ul));

    const std::wstring table = L"VS_VERSION_INFO/StringFileInfo/040904e4";
    const VersionValues expected{
        {L"VS_VERSION_INFO/StringFileInfo", L""},
        {table, L""},
        {table + L"/Comments", L"" OSTREL_COMMENTS},
        {table + L"/CompanyName", L"" OSTREL_COMPANY_NAME},
        {table + L"/FileDescription", L"" OSTREL_FILE_DESCRIPTION},
        {table + L"/FileVersion", L"" OSTREL_FILE_VERSION_TEXT},
        {table + L"/InternalName", L"Ostrel.exe"},
        {table + L"/LegalCopyright", L"" OSTREL_COPYRIGHT},
        {table + L"/OriginalFilename", L"Ostrel.exe"},
        {table + L"/ProductName", L"" OSTREL_PRODUCT_NAME},
        {table + L"/ProductVersion", L"" OSTREL_PRODUCT_VERSION_TEXT},
        {L"VS_VERSION_INFO/VarFileInfo", L""},
        {L"VS_VERSION_INFO/VarFileInfo/Translation", L"\x09\x04\xE4\x04"},  // 0x0409, 1252
    };
    EXPECT_EQ(values, expected);
}

TEST_P(Resources, ManifestRunsAsInvokerWithCommonControls6OfItsOwnArchitecture) {
    ByteReader reader = Find(RT_MANIFEST, 1);
    std::string xml(reader.remaining(), '\0');
    for (char& c : xml) c = static_cast<char>(reader.Byte());
    const std::string architecture = ManifestArchitecture(GetParam());

    const Attributes asInvoker{{"level", "asInvoker"}, {"uiAccess", "false"}};
    EXPECT_EQ(ElementsNamed(xml, "requestedExecutionLevel"), std::vector<Attributes>{asInvoker});
    const auto identities = ElementsNamed(xml, "assemblyIdentity");
    ASSERT_EQ(identities.size(), 2u) << "the program's own and the common controls'";
    EXPECT_EQ(identities[0].at("processorArchitecture"), architecture);
    const Attributes commonControls{{"type", "win32"},
                                    {"name", "Microsoft.Windows.Common-Controls"},
                                    {"version", "6.0.0.0"},
                                    {"processorArchitecture", architecture},
                                    {"publicKeyToken", "6595b64144ccf1df"},
                                    {"language", "*"}};
    EXPECT_EQ(identities[1], commonControls);
}

TEST_P(Resources, IconGroupHasThreeSizesAtEightAndThirtyTwoBits) {
    // width, height, colour count (0: 256 or more), reserved, planes, bits per pixel
    std::vector<std::tuple<int, int, int, int, int, int>> shapes;
    for (const IconImage& image : ReadIconGroup(Find(RT_GROUP_ICON, IDR_MAINFRAME))) {
        shapes.emplace_back(image.width, image.height, image.colourCount, image.reserved,
                            image.planes, image.bits);
        ExpectIconImage(module_, image);
    }
    const decltype(shapes) expected{{48, 48, 0, 0, 1, 8},  {32, 32, 0, 0, 1, 8},
                                    {16, 16, 0, 0, 1, 8},  {48, 48, 0, 0, 1, 32},
                                    {32, 32, 0, 0, 1, 32}, {16, 16, 0, 0, 1, 32}};
    EXPECT_EQ(shapes, expected);
}

TEST_P(Resources, EveryResourceIsOursAndUsEnglishOnly) {
    ResourceLanguages found, expected;
    EnumResourceTypesExW(module_, AddType, reinterpret_cast<LONG_PTR>(&found), RESOURCE_ENUM_LN, 0);
    const auto expect = [&](LPCWSTR type, UINT name) {
        expected[ResourceKey(type, MAKEINTRESOURCEW(name))] = {kUsEnglish};
    };
    expect(RT_DIALOG, IDD_ABOUTBOX);
    expect(RT_DIALOG, IDD_OSTREL_DIALOG);
    expect(RT_STRING, IDS_ABOUTBOX / 16 + 1);
    expect(RT_STRING, IDS_NOT_A_PROGRAM_FILE / 16 + 1);
    expect(RT_GROUP_ICON, IDR_MAINFRAME);
    expect(RT_VERSION, VS_VERSION_INFO);
    expect(RT_MANIFEST, 1);
    for (const IconImage& image : ReadIconGroup(Find(RT_GROUP_ICON, IDR_MAINFRAME))) {
        expect(RT_ICON, image.id);
    }
    EXPECT_EQ(found, expected);
}

INSTANTIATE_TEST_SUITE_P(Executable, Resources, testing::ValuesIn(ExecutablesUnderTest()));
