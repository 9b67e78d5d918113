// Program files for the engine's tests.
#pragma once

#include <string>

namespace ostrel::test {

// A program file whose Fixtures element holds `fixtures` (raw XML).
inline std::string ProgramFile(const std::string& fixtures,
                               const std::string& rootAttributes = " CRC=\"1234ABCD\"") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Editor" + rootAttributes +
           ">\n\t<Harness>\n\t\t<Fixtures>" + fixtures + "</Fixtures>\n\t</Harness>\n</Editor>\n";
}

// One Fixture element with a fixture block.
inline std::string Fixture(const std::string& block, const std::string& name = "F") {
    return "\n\t\t\t<Fixture Name=\"" + name + "\"><![CDATA[" + block + "]]></Fixture>";
}

}  // namespace ostrel::test
