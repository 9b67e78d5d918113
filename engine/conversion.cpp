#include "engine/conversion.h"

#include "engine/fixture_walk.h"
#include "io/paths.h"
#include "res/texts.h"

namespace ostrel::engine {

namespace {

constexpr std::wstring_view kRootPath = L"/Editor";
constexpr std::wstring_view kFixturesPath = L"/Editor/Harness/Fixtures";
constexpr std::wstring_view kChecksumAttribute = L"CRC";

void Report(ConversionHost& host, unsigned sound, const std::wstring& line) {
    host.Beep(sound);
    host.AppendResult(line);
}

// Checks the two names before anything is read; false once the user has been told.
bool CheckInput(ConversionHost& host, const std::wstring& source, const std::wstring& target) {
    if (io::PathExists(source) && !target.empty()) return true;
    host.ShowMessageBox(LoadText(IDS_SELECT_FILES), LoadText(IDS_FILE_ERROR_CAPTION),
                        kOkOnly | kIconHand);
    return false;
}

ConversionOutcome ReportSave(ConversionHost& host, HResult result) {
    if (result == hr::kOk) {
        Report(host, kIconAsterisk, LoadText(IDS_CONVERSION_COMPLETE));
        // With the line end every line gets, two empty lines part this run from the next.
        host.AppendResult(L"\r\n");
        return ConversionOutcome::kCompleted;
    }
    // The platform's codes of a refused name, and the program's own safe-save codes, are said in
    // words; any other failure by its code.
    static constexpr struct {
        HResult code;
        unsigned text;
    } kSaidInWords[] = {
        {hr::kAccessDenied, IDS_TARGET_ACCESS_DENIED},
        {hr::kInvalidArg, IDS_TARGET_INVALID},
        {hr::kCancelled, IDS_SAVE_STOPPED},
        {hr::kSourceChanged, IDS_SOURCE_CHANGED},
        {hr::kFileExists, IDS_TARGET_APPEARED},
    };
    for (const auto& said : kSaidInWords) {
        if (result != said.code) continue;
        Report(host, kIconHand, LoadText(said.text));
        return ConversionOutcome::kSaveFailed;
    }
    Report(host, kIconHand, FormatText(IDS_TARGET_WRITE_ERROR, {HexCode(result)}));
    return ConversionOutcome::kSaveFailed;
}

}  // namespace

void ApplyLoadOptions(const xml::Document& document) {
    document.putAsync(false);
    document.putResolveExternals(false);
    document.putPreserveWhiteSpace(true);
}

void ReplaceAttribute(std::wstring_view name, const xml::Element& element,
                      std::wstring_view value) {
    xml::Attribute attribute = element.ownerDocument().createAttribute(name);
    attribute.putValue(value);
    element.setAttributeNode(attribute);
}

ConversionOutcome RunConversion(ConversionHost& host, xml::DocumentFactory createDocument,
                                const DocumentSaver& save) {
    xml::Document document;
    if (hr::Failed(createDocument(document)) || !document) return ConversionOutcome::kNoDocument;
    ApplyLoadOptions(document);

    const std::wstring source = host.SourceText();
    const std::wstring target = host.TargetText();
    if (!CheckInput(host, source, target)) return ConversionOutcome::kMissingInput;

    host.AppendResult(FormatText(IDS_OPENING_FILE, {source}));
    if (!document.load(source)) {
        const xml::ParseError error = document.parseError();
        host.AppendResult(FormatText(IDS_FILE_OPEN_ERROR, {error.reason().value_or(L"")}));
        return ConversionOutcome::kLoadFailed;
    }

    xml::Node node = document.selectSingleNode(kRootPath);
    if (!node) {
        Report(host, kIconHand, LoadText(IDS_NOT_A_PROGRAM_FILE));
        return ConversionOutcome::kNotProgramFile;
    }
    ReplaceAttribute(kChecksumAttribute, node.asElement(), L"");

    node = document.selectSingleNode(kFixturesPath);
    if (!node) {
        Report(host, kIconExclamation, LoadText(IDS_NO_FIXTURE_BLOCKS));
        return ConversionOutcome::kNoFixtureBlocks;
    }
    ConvertFixtures(host, node);

    return ReportSave(host, save ? save(document, target) : document.save(target));
}

}  // namespace ostrel::engine
