#pragma once

#include <string>
#include <vector>

// One value of an INI file as the desktop program's QSettings (Qt 6.4, IniFormat) keeps it:
// as its line spells it once unescaped, in UTF-16 as Qt holds it. The typed forms
// ("@ByteArray(...)", "@@" for a leading '@') are Qt's to interpret, and iniText()'s.
struct IniValue {
    // One string, or a list where unquoted commas split the line (always two or more).
    std::vector<std::u16string> items;
    bool list = false;

    static IniValue text(std::u16string item) { return {{std::move(item)}, false}; }
    bool operator==(const IniValue&) const = default;
};

// QSettings::value(key).toString() of a value: a list gives "", "@@x" gives "@x",
// "@ByteArray(...)" and "@String(...)" give what they hold, "@Invalid()" and the geometry
// types give "". Values QDataStream would decode ("@Variant(...)", "@DateTime(...)") give "":
// Kelvo never writes them, and their binary payload is not a setting a person types.
std::u16string iniText(const IniValue& value);

// How QSettings::setValue stores a string: "@String(...)" around one holding U+0000, '@'
// doubled in front of one that starts with '@'.
IniValue iniValueOf(std::u16string text);
