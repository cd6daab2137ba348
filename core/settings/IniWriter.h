#pragma once

#include <map>
#include <string>

#include "core/settings/IniValue.h"

// The INI file QSettings writes for `entries` (full keys, "section/name" or "name" for
// [General]): [General] first, then the sections by name, keys by name, values escaped and
// quoted as Qt does. Where Qt's own writer would lose something, the file says it in a way
// Qt reads back as it was: a byte order mark opening a value and a lone surrogate as \x
// escapes, a key "/x" in a section "[]", a section "general" as "[%general]" in its own case.
std::string formatIni(const std::map<std::u16string, IniValue>& entries);
