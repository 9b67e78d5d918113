#include "engine/conversion.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/engine/program_files.h"
#include "tests/engine/recording_host.h"
#include "tests/support/temp_dir.h"
#include "xml/platform_document.h"

namespace ostrel::engine {
namespace {

using test::Fixture;
using test::ProgramFile;
using Events = std::vector<std::wstring>;

const std::string kProgram = ProgramFile(Fixture("12\n13,A7\n14,A7,B3") + Fixture("K9", "two"));

class ConversionRun : public testing::Test {
  protected:
    ConversionRun() { test::WriteBytes(source_, kProgram); }

    ConversionOutcome Run(const std::wstring& source, const std::wstring& target) {
        host_ = test::RecordingHost(source, target);
        return RunConversion(host_, &xml::CreatePlatformDocument);
    }

    test::TempDir folder_;
    std::wstring source_ = folder_.File(L"program.vlf");
    std::wstring target_ = folder_.File(L"converted.vlf");
    test::RecordingHost host_{L"", L""};
};

TEST_F(ConversionRun, ConvertsSavesAndReportsSuccess) {
    EXPECT_EQ(Run(source_, target_), ConversionOutcome::kCompleted);
    EXPECT_EQ(host_.events,
              (Events{L"log Opening file " + source_ + L".", L"log Converted 2 fixtures",
                      L"beep 64", L"log Conversion complete!", L"log \r\n"}));
    EXPECT_EQ(host_.log, L"Opening file " + source_ +
                             L".\r\nConverted 2 fixtures\r\nConversion complete!\r\n\r\n\r\n");

    const std::string converted = test::ReadBytes(target_).value();
    EXPECT_NE(converted.find("CRC=\"\""), std::string::npos);
    EXPECT_EQ(converted.find("1234ABCD"), std::string::npos);
    EXPECT_NE(
        converted.find("<![CDATA[\n\t\t\t\t12,13\n\t\t\t\t13,14\n\t\t\t\t14,A7,B3\n\t\t\t]]>"),
        std::string::npos);
    EXPECT_NE(converted.find("<![CDATA[\n\t\t\t\t0,1\n\t\t\t]]>"), std::string::npos);
    EXPECT_EQ(test::ReadBytes(source_), kProgram) << "the source is never written";
}

TEST_F(ConversionRun, AddsAnEmptyChecksumWhenTheRootHasNone) {
    test::WriteBytes(source_, ProgramFile(Fixture("1"), ""));
    EXPECT_EQ(Run(source_, target_), ConversionOutcome::kCompleted);
    EXPECT_NE(test::ReadBytes(target_).value().find("<Editor CRC=\"\">"), std::string::npos);
}

TEST_F(ConversionRun, MissingInputShowsTheBoxAndNothingElse) {
    const Events box{L"box 16 File Error: Please select a source and target file."};
    EXPECT_EQ(Run(L"", target_), ConversionOutcome::kMissingInput);
    EXPECT_EQ(host_.events, box);
    EXPECT_EQ(Run(folder_.File(L"absent.vlf"), target_), ConversionOutcome::kMissingInput);
    EXPECT_EQ(host_.events, box);
    EXPECT_EQ(Run(source_, L""), ConversionOutcome::kMissingInput);
    EXPECT_EQ(host_.events, box);
    EXPECT_FALSE(test::ReadBytes(target_));
}

TEST_F(ConversionRun, LoadFailuresAreLoggedWithTheReasonAndNoBeep) {
    const std::wstring broken = folder_.File(L"broken.vlf");
    test::WriteBytes(broken, "<Editor><Harness></Editor>");
    for (const std::wstring& source : {folder_.path(), broken}) {
        EXPECT_EQ(Run(source, target_), ConversionOutcome::kLoadFailed);
        ASSERT_EQ(host_.events.size(), 2u);
        EXPECT_EQ(host_.events[0], L"log Opening file " + source + L".");
        EXPECT_EQ(host_.events[1].rfind(L"log File Open Error:   ", 0), 0u)
            << host_.events[1].size();
        EXPECT_GT(host_.events[1].size(), std::wstring(L"log File Open Error:   ").size());
    }
    EXPECT_FALSE(test::ReadBytes(target_));
}

TEST_F(ConversionRun, RefusesFilesThatAreNotProgramFiles) {
    test::WriteBytes(source_, "<?xml version=\"1.0\"?><Program CRC=\"1\"/>");
    EXPECT_EQ(Run(source_, target_), ConversionOutcome::kNotProgramFile);
    EXPECT_EQ(host_.events, (Events{L"log Opening file " + source_ + L".", L"beep 16",
                                    L"log Not a valid Vela Program file.  Conversion aborted."}));
    EXPECT_FALSE(test::ReadBytes(target_));
}

TEST_F(ConversionRun, StopsWithoutSavingWhenThereAreNoFixtureBlocks) {
    test::WriteBytes(source_, "<Editor CRC=\"1\"><Harness/></Editor>");
    EXPECT_EQ(Run(source_, source_), ConversionOutcome::kNoFixtureBlocks);
    EXPECT_EQ(host_.events,
              (Events{L"log Opening file " + source_ + L".", L"beep 48",
                      L"log No Fixture Blocks defined in this source file.  Conversion aborted."}));
    EXPECT_EQ(test::ReadBytes(source_), "<Editor CRC=\"1\"><Harness/></Editor>");
}

// The platform's document, but for a save that gives a chosen code and writes nothing, and, when
// `broken`, paths that fail after the load as a broken service would.
class ScriptedDocument final : public xml::backend::DocumentImpl {
  public:
    ScriptedDocument(std::shared_ptr<DocumentImpl> inner, HResult code, bool broken = false)
        : inner_(std::move(inner)), code_(code), broken_(broken) {}
    xml::backend::NodeKind kind() const override { return inner_->kind(); }
    std::shared_ptr<NodeImpl> firstChild() override { return inner_->firstChild(); }
    std::shared_ptr<NodeImpl> nextSibling() override { return inner_->nextSibling(); }
    std::wstring nodeName() override { return inner_->nodeName(); }
    std::optional<std::wstring> nodeValue() override { return inner_->nodeValue(); }
    std::shared_ptr<DocumentImpl> ownerDocument() override { return inner_->ownerDocument(); }
    std::shared_ptr<NodeImpl> setAttributeNode(NodeImpl& a) override {
        return inner_->setAttributeNode(a);
    }
    void putValue(std::wstring_view value) override { inner_->putValue(value); }
    void putText(std::wstring_view text) override { inner_->putText(text); }
    void putAsync(bool value) override { inner_->putAsync(value); }
    void putResolveExternals(bool value) override { inner_->putResolveExternals(value); }
    void putPreserveWhiteSpace(bool value) override { inner_->putPreserveWhiteSpace(value); }
    bool load(std::wstring_view path) override { return inner_->load(path); }
    std::shared_ptr<xml::backend::ParseErrorImpl> parseError() override {
        return inner_->parseError();
    }
    std::shared_ptr<NodeImpl> selectSingleNode(std::wstring_view path) override {
        if (broken_) RaiseError(hr::kFail, L"the service broke");
        return inner_->selectSingleNode(path);
    }
    std::shared_ptr<NodeImpl> createAttribute(std::wstring_view name) override {
        return inner_->createAttribute(name);
    }
    HResult save(std::wstring_view) override { return code_; }
    HResult save(io::ByteSink&) override { return code_; }

  private:
    std::shared_ptr<DocumentImpl> inner_;
    HResult code_;
    bool broken_;
};

TEST_F(ConversionRun, EachSaveCodeHasItsLineAndOnlyS_OKCompletes) {
    static HResult code;
    const auto factory = [](xml::Document& document) {
        xml::Document platform;
        const HResult created = xml::CreatePlatformDocument(platform);
        document =
            xml::Document(std::make_shared<ScriptedDocument>(platform.internalObject(), code));
        return created;
    };
    const struct {
        HResult code;
        const wchar_t* line;
    } cases[] = {
        {hr::kAccessDenied, L"Unable to write to the target file.  Access denied."},
        {hr::kInvalidArg, L"The target file name or path is invalid."},
        {hr::kCancelled,
         L"Unable to write to the target file.  The save was stopped on request; the target was "
         L"left as it was."},
        {hr::kDiskFull, L"Unable to write to the target file.  Error code 80070070."},
        {hr::kSourceChanged,
         L"Unable to write to the target file.  The source changed while it "
         L"was converted; nothing was written."},
        {hr::kFileExists,
         L"Unable to write to the target file.  Another program created it "
         L"meanwhile; it was left as it was."},
        {1, L"Unable to write to the target file.  Error code 00000001."},  // S_FALSE
    };
    for (const auto& c : cases) {
        code = c.code;
        host_ = test::RecordingHost(source_, target_);
        EXPECT_EQ(RunConversion(host_, factory), ConversionOutcome::kSaveFailed);
        EXPECT_EQ(host_.events,
                  (Events{L"log Opening file " + source_ + L".", L"log Converted 2 fixtures",
                          L"beep 16", std::wstring(L"log ") + c.line}));
    }
    // A save through the real writer gives its code too.
    EXPECT_EQ(Run(source_, folder_.path()), ConversionOutcome::kSaveFailed);
    EXPECT_EQ(host_.events.back(), L"log Unable to write to the target file.  Access denied.");
    EXPECT_FALSE(test::ReadBytes(target_));
}

// Document services that cannot be had end the run without a word: one that says so, and one
// that claims success but gives no document.
HResult Unavailable(xml::Document&) { return hr::kFail; }
HResult Empty(xml::Document& document) {
    document = xml::Document();
    return hr::kOk;
}

TEST_F(ConversionRun, EndsSilentlyWhenNoDocumentCanBeCreated) {
    for (xml::DocumentFactory factory : {&Unavailable, &Empty}) {
        test::RecordingHost host(source_, target_);
        EXPECT_EQ(RunConversion(host, factory), ConversionOutcome::kNoDocument);
        EXPECT_TRUE(host.events.empty());
    }
    EXPECT_FALSE(test::ReadBytes(target_));
}

HResult Failing(xml::Document& document) {
    xml::Document platform;
    const HResult created = xml::CreatePlatformDocument(platform);
    document =
        xml::Document(std::make_shared<ScriptedDocument>(platform.internalObject(), hr::kOk, true));
    return created;
}

TEST_F(ConversionRun, ErrorsLeaveTheRunAndNothingIsSaved) {
    test::RecordingHost host(source_, target_);
    try {
        RunConversion(host, &Failing);
        FAIL() << "no error raised";
    } catch (const Error& error) {
        EXPECT_EQ(ErrorCode(error), hr::kFail);
        EXPECT_EQ(ErrorDescription(error), L"the service broke");
    }
    EXPECT_EQ(host.events, Events{L"log Opening file " + source_ + L"."});
    EXPECT_FALSE(test::ReadBytes(target_));
}

}  // namespace
}  // namespace ostrel::engine
