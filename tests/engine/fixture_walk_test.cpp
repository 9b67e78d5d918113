#include "engine/fixture_walk.h"

#include <gtest/gtest.h>

#include "engine/conversion.h"
#include "tests/engine/program_files.h"
#include "tests/engine/recording_host.h"
#include "tests/support/temp_dir.h"
#include "xml/platform_document.h"

namespace ostrel::engine {
namespace {

using test::Fixture;
using test::ProgramFile;

constexpr wchar_t kRewritten12[] = L"\n\t\t\t\t12,13\n\t\t\t";

class FixtureWalk : public testing::Test {
  protected:
    // Loads the XML with the conversion's options and gives its Fixtures element.
    xml::Node LoadFixtures(const std::string& xmlText) {
        test::WriteBytes(folder_.File(L"walk.vlf"), xmlText);
        EXPECT_EQ(xml::CreatePlatformDocument(document_), hr::kOk);
        ApplyLoadOptions(document_);
        EXPECT_TRUE(document_.load(folder_.File(L"walk.vlf")));
        return document_.selectSingleNode(L"/Editor/Harness/Fixtures");
    }

    // The content of the first CDATA section under the node at the path.
    std::wstring BlockAt(const std::wstring& path) {
        for (xml::Node child = document_.selectSingleNode(path).firstChild(); child;
             child = child.nextSibling()) {
            if (child.asCDataSection()) return child.nodeValue().value_or(L"");
        }
        ADD_FAILURE() << "no block at the path";
        return {};
    }

    std::wstring Walk(const std::string& fixtures) {
        test::RecordingHost log(L"", L"");
        ConvertFixtures(log, LoadFixtures(ProgramFile(fixtures)));
        return log.log;
    }

    test::TempDir folder_;
    xml::Document document_;
};

TEST_F(FixtureWalk, RewritesEveryFixtureAndCountsThem) {
    EXPECT_EQ(Walk(Fixture("12", "a") + "\n\t\t\t" + Fixture("13,A7", "b") + Fixture("", "c")),
              L"Converted 3 fixtures\r\n");
    EXPECT_EQ(BlockAt(L"//Fixture[@Name='a']"), kRewritten12);
    EXPECT_EQ(BlockAt(L"//Fixture[@Name='b']"), L"\n\t\t\t\t13,14\n\t\t\t");
    EXPECT_EQ(BlockAt(L"//Fixture[@Name='c']"), L"\n\t\t\t");
}

TEST_F(FixtureWalk, CountsZeroWhenThereIsNothingToWalk) {
    EXPECT_EQ(Walk(""), L"Converted 0 fixtures\r\n");
    EXPECT_EQ(Walk("\n\t\t\t<!-- none yet -->\n\t\t\t<Other><![CDATA[12]]></Other>\n\t\t"),
              L"Converted 0 fixtures\r\n");
    EXPECT_EQ(BlockAt(L"//Other"), L"12");
}

TEST_F(FixtureWalk, SkipsChildrenWhoseNameIsNotExactlyFixture) {
    const std::string others =
        "<fixture><![CDATA[1]]></fixture><Fixtures><![CDATA[2]]></Fixtures>"
        "<FixtureX><![CDATA[3]]></FixtureX><p:Fixture xmlns:p=\"urn:p\"><![CDATA[4]]></p:Fixture>"
        "<Group><Fixture Name=\"nested\"><![CDATA[5]]></Fixture></Group>";
    EXPECT_EQ(Walk(others + Fixture("12", "real")), L"Converted 1 fixtures\r\n");
    EXPECT_EQ(BlockAt(L"//fixture"), L"1");
    EXPECT_EQ(BlockAt(L"//FixtureX"), L"3");
    EXPECT_EQ(BlockAt(L"//Fixture[@Name='nested']"), L"5");
    EXPECT_EQ(BlockAt(L"//Fixture[@Name='real']"), kRewritten12);
}

TEST_F(FixtureWalk, FindsTheFirstDirectBlockAfterOtherChildren) {
    EXPECT_EQ(Walk("<Fixture Name=\"f\">\n\t<Pin/><!-- c --><Inner><![CDATA[9]]></Inner>"
                   "<![CDATA[12]]>\n<![CDATA[14]]></Fixture>"),
              L"Converted 1 fixtures\r\n");
    EXPECT_EQ(BlockAt(L"//Fixture[@Name='f']"), kRewritten12);
    EXPECT_EQ(BlockAt(L"//Inner"), L"9");
    // The second section of the same Fixture is left as it was.
    std::wstring sections;
    for (xml::Node child = document_.selectSingleNode(L"//Fixture[@Name='f']").firstChild(); child;
         child = child.nextSibling()) {
        if (child.asCDataSection()) sections += child.nodeValue().value_or(L"") + L"|";
    }
    EXPECT_EQ(sections, std::wstring(kRewritten12) + L"|14|");
}

TEST_F(FixtureWalk, PassesOverAFixtureWithoutABlockAndGoesOn) {
    const std::string fixtures =
        Fixture("12", "first") + "<Fixture Name=\"second\">12</Fixture>" + Fixture("12", "third");
    EXPECT_EQ(Walk(fixtures), L"Converted 3 fixtures\r\n");
    EXPECT_EQ(BlockAt(L"//Fixture[@Name='first']"), kRewritten12);
    EXPECT_EQ(document_.selectSingleNode(L"//Fixture[@Name='second']").firstChild().nodeValue(),
              L"12");
    EXPECT_EQ(BlockAt(L"//Fixture[@Name='third']"), kRewritten12);
}

}  // namespace
}  // namespace ostrel::engine
