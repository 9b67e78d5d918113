#include "engine/fixture_walk.h"

#include "engine/pin_line.h"
#include "res/texts.h"

namespace ostrel::engine {

namespace {
constexpr std::wstring_view kFixtureName = L"Fixture";
constexpr std::wstring_view kCDataSectionName = L"#cdata-section";
}  // namespace

bool FindFixtureBlock(const xml::Node& fixture, xml::CDataSection& section, std::wstring& block) {
    for (xml::Node child = fixture.firstChild(); child; child = child.nextSibling()) {
        if (child.nodeName() != kCDataSectionName) continue;
        if (auto value = child.nodeValue()) block = std::move(*value);
        section = child.asCDataSection();
        return true;
    }
    return false;
}

void ConvertFixtures(ResultsLog& log, const xml::Node& fixtures) {
    if (!fixtures) RaiseError(hr::kPointer);
    int count = 0;
    for (xml::Node child = fixtures.firstChild(); child; child = child.nextSibling()) {
        if (child.nodeName() != kFixtureName) continue;
        ++count;
        xml::CDataSection section;
        std::wstring block;
        // A Fixture without a block of its own has nothing to rewrite; it is left as it is.
        if (!FindFixtureBlock(child, section, block)) continue;
        section.putText(RewriteFixtureBlock(block));
    }
    log.AppendResult(FormatText(IDS_CONVERTED_FIXTURES, {std::to_wstring(count)}));
}

}  // namespace ostrel::engine
