// Reads Ostrel's resources back from a linked executable, as raw resource data, and checks them
// against the texts of res/ and the layout the program's code relies on.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
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
#include <utility>
#include <vector>

#include "io/utf8.h"
#include "res/resource.h"
#include "res/string_table.h"
#include "res/version.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr WORD kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr DWORD kNoId = static_cast<DWORD>(-1);
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;

// The executables to read: the one named by OSTREL_EXE_UNDER_TEST, or those of this build.
std::vector<std::wstring> ExecutablesUnderTest() {
    if (const wchar_t* named = _wgetenv(L"OSTREL_EXE_UNDER_TEST"); named && *named) {
        return {named};
    }
    std::vector<std::wstring> paths{ostrel::io::FromUtf8(OSTREL_RESOURCE_PROBE)};
#ifdef OSTREL_PROGRAM
    paths.push_back(ostrel::io::FromUtf8(OSTREL_PROGRAM));
#endif
    return paths;
}

// Little-endian reads from one resource's bytes; running past the end throws.
class ByteReader {
  public:
    ByteReader(const BYTE* data, size_t size) : data_(data), size_(size) {}

    size_t position() const { return position_; }
    const BYTE* Data() const { return data_ + position_; }
    size_t remaining() const { return size_ - position_; }

    uint8_t Byte() { return *Take(1); }
    uint16_t Word() {
        const BYTE* p = Take(2);
        return static_cast<uint16_t>(p[0] | (p[1] << 8));
    }
    uint32_t Dword() {
        uint32_t low = Word();
        return low | (static_cast<uint32_t>(Word()) << 16);
    }
    int16_t Short() { return static_cast<int16_t>(Word()); }

    // A null-terminated UTF-16 text.
    std::wstring WideString() {
        std::wstring text;
        for (wchar_t c = Word(); c != 0; c = Word()) text.push_back(c);
        return text;
    }
    void Skip(size_t count) { Take(count); }
    void AlignTo4() { Skip(Padding()); }
    // Aligning at the very end of the data is allowed to run out of padding.
    size_t Padding() const { return std::min((4 - position_ % 4) % 4, remaining()); }

  private:
    const BYTE* Take(size_t count) {
        if (count > remaining()) throw std::out_of_range("resource data ends early");
        const BYTE* p = data_ + position_;
        position_ += count;
        return p;
    }

    const BYTE* data_;
    size_t size_;
    size_t position_ = 0;
};

// A name-or-ordinal field of a dialog template (menu, class, control text).
struct NameOrOrdinal {
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::wstring name;
};

NameOrOrdinal ReadNameOrOrdinal(ByteReader& reader) {
    NameOrOrdinal field;
    WORD first = reader.Word();
    if (first == 0xFFFF) {
        field.isOrdinal = true;
        field.ordinal = reader.Word();
        return field;
    }
    for (wchar_t c = first; c != 0; c = reader.Word()) field.name.push_back(c);
    return field;
}

// An executable opened as a data file: its resources only, no code run.
class ResourceModule {
  public:
    explicit ResourceModule(const std::wstring& path)
        : module_(LoadLibraryExW(path.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~ResourceModule() {
        if (module_) FreeLibrary(module_);
    }
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;

    HMODULE handle() const { return module_; }

    // The raw data of a U.S. English resource, or an empty reader when there is none.
    ByteReader Find(LPCWSTR type, LPCWSTR name) const {
        HRSRC found = FindResourceExW(module_, type, name, kUsEnglish);
        if (!found) return ByteReader(nullptr, 0);
        HGLOBAL loaded = LoadResource(module_, found);
        const void* data = loaded ? LockResource(loaded) : nullptr;
        if (!data) return ByteReader(nullptr, 0);
        return ByteReader(static_cast<const BYTE*>(data), SizeofResource(module_, found));
    }

  private:
    HMODULE module_;
};

// ---------------------------------------------------------------------------------------------
// Dialog templates (DLGTEMPLATEEX and DLGITEMTEMPLATEEX)

struct Control {
    DWORD id;
    WORD classAtom;
    std::wstring text;
    DWORD style;
    short x, y, cx, cy;
};

struct Dialog {
    DWORD style;
    DWORD exStyle;
    short cx, cy;
    std::wstring title;
    std::vector<Control> controls;
};

const Dialog kAboutBox{
    0x80C800C8,
    0,
    215,
    62,
    L"" OSTREL_ABOUT_TITLE,
    {
        {kNoId, kStaticAtom, L"" OSTREL_ABOUT_PRODUCT_LINE, 0x50020080, 42, 14, 114, 8},
        {kNoId, kStaticAtom, L"" OSTREL_COPYRIGHT, 0x50020000, 42, 26, 166, 8},
        {IDOK, kButtonAtom, L"" OSTREL_ABOUT_OK, 0x50030001, 158, 41, 50, 14},
    },
};

const Dialog kMainDialog{
    0x90C800C8,
    0x00040000,
    320,
    185,
    L"" OSTREL_MAIN_TITLE,
    {
        {kNoId, kStaticAtom, L"" OSTREL_MAIN_INTRO, 0x5002000C, 7, 7, 305, 19},
        {kNoId, kStaticAtom, L"" OSTREL_MAIN_SOURCE_LABEL, 0x50020000, 7, 42, 67, 8},
        {IDC_SOURCE_EDIT, kEditAtom, L"", 0x50810080, 75, 38, 221, 14},
        {IDC_BROWSE_SOURCE, kButtonAtom, L"" OSTREL_MAIN_BROWSE, 0x50010000, 296, 38, 16, 14},
        {kNoId, kStaticAtom, L"" OSTREL_MAIN_TARGET_LABEL, 0x50020000, 7, 64, 66, 8},
        {IDC_TARGET_EDIT, kEditAtom, L"", 0x50810080, 75, 60, 221, 14},
        {IDC_BROWSE_TARGET, kButtonAtom, L"" OSTREL_MAIN_BROWSE, 0x50010000, 296, 60, 16, 14},
        {IDC_CONVERT, kButtonAtom, L"" OSTREL_MAIN_CONVERT, 0x50010000, 85, 164, 50, 14},
        {IDCANCEL, kButtonAtom, L"" OSTREL_MAIN_CANCEL, 0x50010000, 183, 164, 50, 14},
        {kNoId, kStaticAtom, L"" OSTREL_MAIN_RESULTS_LABEL, 0x50020000, 7, 83, 27, 8},
        {IDC_RESULTS_EDIT, kEditAtom, L"", 0x50A10884, 7, 92, 305, 71},
    },
};

void ExpectControl(ByteReader& reader, const Control& expected) {
    SCOPED_TRACE(testing::Message() << "control " << static_cast<int>(expected.id) << " \""
                                    << ostrel::io::ToUtf8(expected.text) << "\"");
    reader.AlignTo4();
    EXPECT_EQ(reader.Dword(), 0u) << "help id";
    EXPECT_EQ(reader.Dword(), 0u) << "extended style";
    EXPECT_EQ(reader.Dword(), expected.style) << "style";
    EXPECT_EQ(reader.Short(), expected.x);
    EXPECT_EQ(reader.Short(), expected.y);
    EXPECT_EQ(reader.Short(), expected.cx);
    EXPECT_EQ(reader.Short(), expected.cy);
    EXPECT_EQ(reader.Dword(), expected.id) << "id";
    NameOrOrdinal windowClass = ReadNameOrOrdinal(reader);
    EXPECT_TRUE(windowClass.isOrdinal) << "class by name: " << ostrel::io::ToUtf8(windowClass.name);
    EXPECT_EQ(windowClass.ordinal, expected.classAtom) << "class atom";
    NameOrOrdinal text = ReadNameOrOrdinal(reader);
    EXPECT_FALSE(text.isOrdinal) << "text";
    EXPECT_EQ(text.name, expected.text);
    EXPECT_EQ(reader.Word(), 0u) << "creation data";
}

void ExpectDialog(const ResourceModule& module, WORD id, const Dialog& expected) {
    ByteReader reader = module.Find(RT_DIALOG, MAKEINTRESOURCEW(id));
    ASSERT_GT(reader.remaining(), 0u) << "no dialog " << id;
    EXPECT_EQ(reader.Word(), 1u) << "template version";
    ASSERT_EQ(reader.Word(), 0xFFFFu) << "not an extended template";
    EXPECT_EQ(reader.Dword(), 0u) << "help id";
    EXPECT_EQ(reader.Dword(), expected.exStyle) << "extended style";
    const DWORD style = reader.Dword();
    EXPECT_EQ(style, expected.style) << "style";
    const WORD count = reader.Word();
    ASSERT_EQ(count, expected.controls.size()) << "number of controls";
    reader.Skip(4);  // x and y: the dialog manager places the window
    EXPECT_EQ(reader.Short(), expected.cx);
    EXPECT_EQ(reader.Short(), expected.cy);
    NameOrOrdinal menu = ReadNameOrOrdinal(reader);
    EXPECT_TRUE(!menu.isOrdinal && menu.name.empty()) << "menu";
    NameOrOrdinal windowClass = ReadNameOrOrdinal(reader);
    EXPECT_TRUE(!windowClass.isOrdinal && windowClass.name.empty()) << "window class";
    EXPECT_EQ(reader.WideString(), expected.title);
    // The font fields are present only with DS_SETFONT.
    ASSERT_TRUE(style & DS_SETFONT);
    EXPECT_EQ(reader.Word(), 8u) << "point size";
    EXPECT_EQ(reader.Word(), 0u) << "weight";
    EXPECT_EQ(static_cast<int>(reader.Byte()), 0) << "italic";
    EXPECT_EQ(static_cast<int>(reader.Byte()), 1) << "character set";
    EXPECT_EQ(reader.WideString(), L"MS Shell Dlg");
    for (const Control& control : expected.controls) ExpectControl(reader, control);
    EXPECT_EQ(reader.remaining(), reader.Padding()) << "data after the last control";
}

// ---------------------------------------------------------------------------------------------
// String table

std::map<UINT, std::wstring> ExpectedStrings() {
    std::map<UINT, std::wstring> strings;
#define OSTREL_EXPECT_STRING(id, text) strings[id] = L"" text;
    OSTREL_RESOURCE_STRINGS(OSTREL_EXPECT_STRING)
#undef OSTREL_EXPECT_STRING
    return strings;
}

// Every non-empty string of the string-table blocks that hold the given ids.
std::map<UINT, std::wstring> StringsOfBlocks(const ResourceModule& module,
                                             const std::set<UINT>& ids) {
    std::set<UINT> blocks;
    for (UINT id : ids) blocks.insert(id / 16 + 1);
    std::map<UINT, std::wstring> strings;
    for (UINT block : blocks) {
        ByteReader reader = module.Find(RT_STRING, MAKEINTRESOURCEW(block));
        EXPECT_GT(reader.remaining(), 0u) << "no string block " << block;
        if (reader.remaining() == 0) continue;
        for (UINT index = 0; index < 16; ++index) {
            std::wstring text(reader.Word(), L'\0');
            for (wchar_t& c : text) c = reader.Word();
            if (!text.empty()) strings[(block - 1) * 16 + index] = text;
        }
        EXPECT_EQ(reader.remaining(), reader.Padding()) << "data after string block " << block;
    }
    return strings;
}

// ---------------------------------------------------------------------------------------------
// Version block (VS_VERSIONINFO and its children)

struct VersionNode {
    std::wstring key;
    WORD type = 0;            // 1 text, 0 binary
    std::vector<BYTE> value;  // binary value
    std::wstring text;        // text value, without its terminating null
    std::vector<VersionNode> children;
};

VersionNode ReadVersionNode(ByteReader& reader) {
    reader.AlignTo4();
    const size_t start = reader.position();
    const WORD length = reader.Word();
    const WORD valueLength = reader.Word();
    VersionNode node;
    node.type = reader.Word();
    node.key = reader.WideString();
    reader.AlignTo4();
    if (node.type == 1) {
        // Counted in characters, including the terminating null.
        for (WORD i = 0; i < valueLength; ++i)
            node.text.push_back(static_cast<wchar_t>(reader.Word()));
        while (!node.text.empty() && node.text.back() == L'\0') node.text.pop_back();
    } else {
        for (WORD i = 0; i < valueLength; ++i) node.value.push_back(reader.Byte());
    }
    while (reader.position() + reader.Padding() < start + length) {
        node.children.push_back(ReadVersionNode(reader));
    }
    EXPECT_LE(reader.position(), start + length) << "version node overruns its length";
    return node;
}

const VersionNode* Child(const VersionNode& node, const std::wstring& key) {
    for (const VersionNode& child : node.children) {
        if (child.key == key) return &child;
    }
    return nullptr;
}

// The two 32-bit halves of a version text "a.b.c.d", as VS_FIXEDFILEINFO holds them.
std::pair<DWORD, DWORD> VersionHalves(const std::wstring& text) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    EXPECT_EQ(swscanf(text.c_str(), L"%u.%u.%u.%u", &a, &b, &c, &d), 4) << "version text";
    return {MAKELONG(b, a), MAKELONG(d, c)};
}

// ---------------------------------------------------------------------------------------------
// Manifest

// The attributes of each element with this name, in document order. The manifest's elements
// carry only name="value" attributes, which is all this reads.
std::vector<std::map<std::string, std::string>> ElementsNamed(const std::string& xml,
                                                              const std::string& name) {
    std::vector<std::map<std::string, std::string>> elements;
    const std::regex element("<" + name + "((?:\\s[^>]*)?)>");
    const std::regex attribute("([A-Za-z_:][\\w.:-]*)\\s*=\\s*\"([^\"]*)\"");
    for (std::sregex_iterator it(xml.begin(), xml.end(), element), end; it != end; ++it) {
        const std::string body = (*it)[1];
        std::map<std::string, std::string> attributes;
        for (std::sregex_iterator a(body.begin(), body.end(), attribute); a != end; ++a) {
            attributes[(*a)[1]] = (*a)[2];
        }
        elements.push_back(attributes);
    }
    return elements;
}

// The text content of the first element with this name, or nothing.
std::string ElementText(const std::string& xml, const std::string& name) {
    std::smatch match;
    if (std::regex_search(xml, match,
                          std::regex("<" + name + "(?:\\s[^>]*)?>([^<]*)</" + name + ">"))) {
        return match[1];
    }
    return {};
}

// The processorArchitecture that the manifest of an executable must name: the machine of its
// PE header (an x86 dependency in an x64 process, or the reverse, does not load).
std::string ManifestArchitecture(const std::wstring& path) {
    const auto bytes = ostrel::test::ReadBytes(path);
    if (!bytes || bytes->size() < 0x40) return "unreadable";
    const auto at = [&](size_t offset) { return static_cast<unsigned char>((*bytes)[offset]); };
    const size_t header = at(0x3C) | (at(0x3D) << 8) | (at(0x3E) << 16) | (at(0x3F) << 24);
    if (header + 6 > bytes->size() || bytes->compare(header, 4, std::string("PE\0\0", 4)) != 0) {
        return "not a PE file";
    }
    switch (at(header + 4) | (at(header + 5) << 8)) {
        case IMAGE_FILE_MACHINE_I386:
            return "x86";
        case IMAGE_FILE_MACHINE_AMD64:
            return "amd64";
        default:
            return "unknown machine";
    }
}

// ---------------------------------------------------------------------------------------------
// Enumeration of every resource

struct ResourceKey {
    std::wstring type;
    std::wstring name;
    bool operator<(const ResourceKey& other) const {
        return std::tie(type, name) < std::tie(other.type, other.name);
    }
};

std::wstring ResourceIdText(LPCWSTR id) {
    if (IS_INTRESOURCE(id)) return L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(id));
    return id;
}

// "type name" lines, for messages.
std::string Describe(const std::set<ResourceKey>& keys) {
    std::string lines;
    for (const ResourceKey& key : keys) {
        lines += ostrel::io::ToUtf8(key.type) + " " + ostrel::io::ToUtf8(key.name) + "\n";
    }
    return lines;
}

using ResourceLanguages = std::map<ResourceKey, std::set<WORD>>;

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR found) {
    (*reinterpret_cast<ResourceLanguages*>(found))[{ResourceIdText(type), ResourceIdText(name)}]
        .insert(language);
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

// Every resource of the module with the languages it exists in.
ResourceLanguages AllResources(HMODULE module) {
    ResourceLanguages found;
    EnumResourceTypesExW(module, AddType, reinterpret_cast<LONG_PTR>(&found), RESOURCE_ENUM_LN, 0);
    return found;
}

// ---------------------------------------------------------------------------------------------
// Icons (the group directory and its RT_ICON images)

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colourCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInResource;
    WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14, "GRPICONDIRENTRY is 14 bytes");

std::vector<GroupIconEntry> GroupIconEntries(ByteReader reader) {
    EXPECT_EQ(reader.Word(), 0u) << "reserved";
    EXPECT_EQ(reader.Word(), 1u) << "not an icon group";
    std::vector<GroupIconEntry> entries(reader.Word());
    for (GroupIconEntry& entry : entries) {
        entry.width = reader.Byte();
        entry.height = reader.Byte();
        entry.colourCount = reader.Byte();
        entry.reserved = reader.Byte();
        entry.planes = reader.Word();
        entry.bitCount = reader.Word();
        entry.bytesInResource = reader.Dword();
        entry.id = reader.Word();
    }
    return entries;
}

// Checks one RT_ICON image: a DIB of the entry's size and depth, followed by its AND mask.
void ExpectIconImage(const ResourceModule& module, const GroupIconEntry& entry) {
    const int size = entry.width;
    SCOPED_TRACE(testing::Message() << size << " pixels, " << entry.bitCount << " bpp");
    ByteReader reader = module.Find(RT_ICON, MAKEINTRESOURCEW(entry.id));
    ASSERT_EQ(reader.remaining(), entry.bytesInResource) << "image size against the directory";
    ByteReader header = reader;
    EXPECT_EQ(header.Dword(), sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(static_cast<int32_t>(header.Dword()), size) << "width";
    EXPECT_EQ(static_cast<int32_t>(header.Dword()), 2 * size) << "height of colours and mask";
    EXPECT_EQ(header.Word(), 1u) << "planes";
    EXPECT_EQ(header.Word(), entry.bitCount) << "bits per pixel";
    EXPECT_EQ(header.Dword(), static_cast<DWORD>(BI_RGB)) << "compression";
    header.Skip(12);  // image size and resolution
    const DWORD coloursUsed = header.Dword();

    const size_t maskBytes = ((size + 31) / 32) * 4 * size;
    const size_t colourBytes = ((size * entry.bitCount + 31) / 32) * 4 * size;
    const size_t paletteBytes = entry.bitCount == 8 ? 4 * (coloursUsed ? coloursUsed : 256) : 0;
    if (entry.bitCount == 8) {
        EXPECT_TRUE(coloursUsed == 0 || coloursUsed == 256) << coloursUsed;
    }
    EXPECT_EQ(reader.remaining(),
              sizeof(BITMAPINFOHEADER) + paletteBytes + colourBytes + maskBytes);

    if (entry.bitCount == 32) {
        // A real alpha channel: clear, solid and partly covered pixels.
        reader.Skip(sizeof(BITMAPINFOHEADER));
        std::set<int> kinds;
        for (int pixel = 0; pixel < size * size; ++pixel) {
            reader.Skip(3);
            const BYTE alpha = reader.Byte();
            kinds.insert(alpha == 0 ? 0 : alpha == 255 ? 2 : 1);
        }
        EXPECT_EQ(kinds, (std::set<int>{0, 1, 2})) << "alpha values";
    }

    // The system must accept the image as an icon of this size.
    ByteReader image = module.Find(RT_ICON, MAKEINTRESOURCEW(entry.id));
    std::vector<BYTE> bits(image.remaining());
    for (BYTE& b : bits) b = image.Byte();
    HICON icon = CreateIconFromResourceEx(bits.data(), static_cast<DWORD>(bits.size()), TRUE,
                                          0x00030000, size, size, LR_DEFAULTCOLOR);
    EXPECT_NE(icon, nullptr) << "CreateIconFromResourceEx failed";
    if (icon) DestroyIcon(icon);
}

std::string NameOfTest(const testing::TestParamInfo<std::wstring>& info) {
    std::string stem = ostrel::io::ToUtf8(info.param);
    stem = stem.substr(stem.find_last_of("/\\") + 1);
    stem = stem.substr(0, stem.rfind('.'));
    for (char& c : stem) {
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return stem + "_" + std::to_string(info.index);
}

}  // namespace

class Resources : public testing::TestWithParam<std::wstring> {
  protected:
    void SetUp() override {
        ASSERT_NE(module_.handle(), nullptr) << "cannot load " << ostrel::io::ToUtf8(GetParam())
                                             << " as a data file, error " << GetLastError();
    }

    ResourceModule module_{GetParam()};
};

TEST_P(Resources, AboutBoxTemplateIsExact) { ExpectDialog(module_, IDD_ABOUTBOX, kAboutBox); }

TEST_P(Resources, MainDialogTemplateIsExact) {
    ExpectDialog(module_, IDD_OSTREL_DIALOG, kMainDialog);
}

TEST_P(Resources, StringTableHoldsExactlyTheResourceStrings) {
    const std::map<UINT, std::wstring> expected = ExpectedStrings();
    std::set<UINT> ids;
    for (const auto& entry : expected) ids.insert(entry.first);
    EXPECT_EQ(StringsOfBlocks(module_, ids), expected);

    // The way the program reads them: LoadStringW, by number.
    for (const auto& [id, text] : expected) {
        const wchar_t* loaded = nullptr;
        const int length = LoadStringW(module_.handle(), id, reinterpret_cast<LPWSTR>(&loaded), 0);
        EXPECT_EQ(std::wstring(loaded ? loaded : L"", length > 0 ? length : 0), text) << id;
    }
}

TEST_P(Resources, VersionBlockHasFixedPartStringsAndTranslation) {
    ByteReader reader = module_.Find(RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO));
    ASSERT_GT(reader.remaining(), 0u) << "no version block";
    const VersionNode root = ReadVersionNode(reader);
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");
    ASSERT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO fixed;
    memcpy(&fixed, root.value.data(), sizeof fixed);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    const auto fileVersion = VersionHalves(L"" OSTREL_FILE_VERSION_TEXT);
    const auto productVersion = VersionHalves(L"" OSTREL_PRODUCT_VERSION_TEXT);
    EXPECT_EQ(fixed.dwFileVersionMS, fileVersion.first);
    EXPECT_EQ(fixed.dwFileVersionLS, fileVersion.second);
    EXPECT_EQ(fixed.dwProductVersionMS, productVersion.first);
    EXPECT_EQ(fixed.dwProductVersionLS, productVersion.second);
    EXPECT_EQ(fixed.dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed.dwFileFlags, 0u);
    EXPECT_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed.dwFileSubtype, 0u);
    EXPECT_EQ(fixed.dwFileDateMS, 0u);
    EXPECT_EQ(fixed.dwFileDateLS, 0u);

    const VersionNode* stringInfo = Child(root, L"StringFileInfo");
    ASSERT_NE(stringInfo, nullptr);
    ASSERT_EQ(stringInfo->children.size(), 1u) << "string tables";
    const VersionNode& table = stringInfo->children.front();
    EXPECT_EQ(table.key, L"040904e4");
    std::map<std::wstring, std::wstring> strings;
    for (const VersionNode& value : table.children) {
        EXPECT_EQ(value.type, 1u) << ostrel::io::ToUtf8(value.key);
        strings[value.key] = value.text;
    }
    const std::map<std::wstring, std::wstring> expected{
        {L"Comments", L"" OSTREL_COMMENTS},
        {L"CompanyName", L"" OSTREL_COMPANY_NAME},
        {L"FileDescription", L"" OSTREL_FILE_DESCRIPTION},
        {L"FileVersion", L"" OSTREL_FILE_VERSION_TEXT},
        {L"InternalName", L"Ostrel.exe"},
        {L"LegalCopyright", L"" OSTREL_COPYRIGHT},
        {L"OriginalFilename", L"Ostrel.exe"},
        {L"ProductName", L"" OSTREL_PRODUCT_NAME},
        {L"ProductVersion", L"" OSTREL_PRODUCT_VERSION_TEXT},
    };
    EXPECT_EQ(strings, expected);

    const VersionNode* varInfo = Child(root, L"VarFileInfo");
    ASSERT_NE(varInfo, nullptr);
    const VersionNode* translation = Child(*varInfo, L"Translation");
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ(translation->value, (std::vector<BYTE>{0x09, 0x04, 0xE4, 0x04}));
}

TEST_P(Resources, ManifestRunsAsInvokerWithCommonControls6OfItsOwnArchitecture) {
    ByteReader reader = module_.Find(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_GT(reader.remaining(), 0u) << "no manifest";
    std::string xml(reader.remaining(), '\0');
    for (char& c : xml) c = static_cast<char>(reader.Byte());
    const std::string architecture = ManifestArchitecture(GetParam());

    const auto levels = ElementsNamed(xml, "requestedExecutionLevel");
    ASSERT_EQ(levels.size(), 1u);
    EXPECT_EQ(levels[0].at("level"), "asInvoker");
    EXPECT_EQ(levels[0].at("uiAccess"), "false");

    const auto identities = ElementsNamed(xml, "assemblyIdentity");
    ASSERT_EQ(identities.size(), 2u) << "the program's own and the common controls'";
    EXPECT_EQ(identities[0].at("processorArchitecture"), architecture);
    const std::map<std::string, std::string> commonControls{
        {"type", "win32"},
        {"name", "Microsoft.Windows.Common-Controls"},
        {"version", "6.0.0.0"},
        {"processorArchitecture", architecture},
        {"publicKeyToken", "6595b64144ccf1df"},
        {"language", "*"},
    };
    EXPECT_EQ(identities[1], commonControls);

    EXPECT_EQ(ElementText(xml, "dpiAware"), "true/pm");
    EXPECT_EQ(ElementText(xml, "dpiAwareness"), "PerMonitorV2");
    std::set<std::string> systems;
    for (const auto& system : ElementsNamed(xml, "supportedOS")) systems.insert(system.at("Id"));
    const std::set<std::string> vistaTo11{
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"};
    EXPECT_EQ(systems, vistaTo11);
}

TEST_P(Resources, IconGroupHasThreeSizesAtEightAndThirtyTwoBits) {
    ByteReader reader = module_.Find(RT_GROUP_ICON, MAKEINTRESOURCEW(IDR_MAINFRAME));
    ASSERT_GT(reader.remaining(), 0u) << "no icon group";
    const std::vector<GroupIconEntry> entries = GroupIconEntries(reader);
    std::vector<std::pair<int, int>> images;
    for (const GroupIconEntry& entry : entries) {
        EXPECT_EQ(entry.width, entry.height);
        EXPECT_EQ(entry.colourCount, 0u) << "256 colours or more";
        EXPECT_EQ(entry.planes, 1u);
        images.emplace_back(entry.width, entry.bitCount);
    }
    const std::vector<std::pair<int, int>> expected{{48, 8},  {32, 8},  {16, 8},
                                                    {48, 32}, {32, 32}, {16, 32}};
    EXPECT_EQ(images, expected);
    for (const GroupIconEntry& entry : entries) ExpectIconImage(module_, entry);

    // The icon the main dialog loads for its caption is found at both standard sizes.
    for (int size : {16, 32}) {
        ByteReader group = module_.Find(RT_GROUP_ICON, MAKEINTRESOURCEW(IDR_MAINFRAME));
        const int id = LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group.Data()), TRUE, size,
                                                   size, LR_DEFAULTCOLOR);
        EXPECT_NE(id, 0) << size;
    }
}

TEST_P(Resources, EveryResourceIsOursAndUsEnglishOnly) {
    const ResourceLanguages found = AllResources(module_.handle());
    std::set<ResourceKey> keys;
    for (const auto& [key, languages] : found) {
        keys.insert(key);
        EXPECT_EQ(languages, std::set<WORD>{kUsEnglish})
            << ostrel::io::ToUtf8(key.type) << " " << ostrel::io::ToUtf8(key.name);
    }
    const auto key = [](LPCWSTR type, ULONG_PTR name) {
        return ResourceKey{ResourceIdText(type), ResourceIdText(MAKEINTRESOURCEW(name))};
    };
    std::set<ResourceKey> expected{
        key(RT_DIALOG, IDD_ABOUTBOX),
        key(RT_DIALOG, IDD_OSTREL_DIALOG),
        key(RT_STRING, IDS_ABOUTBOX / 16 + 1),
        key(RT_STRING, IDS_NOT_A_PROGRAM_FILE / 16 + 1),
        key(RT_GROUP_ICON, IDR_MAINFRAME),
        key(RT_VERSION, VS_VERSION_INFO),
        key(RT_MANIFEST, 1),
    };
    for (const GroupIconEntry& entry :
         GroupIconEntries(module_.Find(RT_GROUP_ICON, MAKEINTRESOURCEW(IDR_MAINFRAME)))) {
        expected.insert(key(RT_ICON, entry.id));
    }
    EXPECT_EQ(Describe(keys), Describe(expected)) << "resources other than the program's own";
}

INSTANTIATE_TEST_SUITE_P(Executable, Resources, testing::ValuesIn(ExecutablesUnderTest()),
                         NameOfTest);

// The programs are linked with -municode: the C runtime starts them at wmain.
int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
