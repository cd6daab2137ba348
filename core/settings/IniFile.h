#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "core/settings/IniValue.h"

// An INI file as the desktop program's QSettings (Qt 6.4, IniFormat, on Linux) reads it,
// without Qt: the headless recorder and the windows read kelvo.ini alike. Keys are full
// paths, "section/name" ("name" alone in [General]), case-sensitive, in UTF-16 as Qt holds
// them.
class IniFile {
public:
    // The bytes of the file, any bytes: an empty or unreadable file is simply empty.
    explicit IniFile(std::string_view bytes);

    // The value QSettings::value(key) finds, nothing where it finds none. QSettings parses a
    // section only when a key is looked up under it and no other section's name sorts between
    // the two; a later lookup sees what an earlier one parsed. So the order of the lookups is
    // part of the answer for files with odd section names ("[mqtt/x]"), as it was in Qt.
    std::optional<IniValue> find(std::u16string_view key);

    // Every key of the file with its value (where one key is set twice, the value QSettings
    // keeps), for writing the file back with what Kelvo does not know kept.
    std::map<std::u16string, IniValue> entries();

private:
    void parseSection(std::map<std::u16string, std::string>::iterator section);

    // Section name with its '/' ("" for [General]) -> its lines, all parts of a section that
    // occurs more than once joined.
    std::map<std::u16string, std::string> m_unparsed;
    std::map<std::u16string, IniValue> m_parsed;
};
