// The walk over the Fixture children of a program file's Fixtures element.
#pragma once

#include <string>

#include "engine/host.h"
#include "xml/dom.h"

namespace ostrel::engine {

// Finds the fixture block of one Fixture element: its first direct child named
// "#cdata-section". On success sets `section`, and `block` when the section has a value, and
// returns true; otherwise returns false and leaves both untouched. Raises E_POINTER for an empty
// `fixture`.
bool FindFixtureBlock(const xml::Node& fixture, xml::CDataSection& section, std::wstring& block);

// Rewrites the block of every direct child of `fixtures` named exactly "Fixture", then appends
// "Converted N fixtures" to the log, N counting every such child. A Fixture without a block is
// left unchanged and the walk goes on. Raises E_POINTER for an empty `fixtures`, and any Error
// of the DOM (the count line is then not written).
void ConvertFixtures(ResultsLog& log, const xml::Node& fixtures);

}  // namespace ostrel::engine
