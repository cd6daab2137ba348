// kelvo.ini is read and written by the core without Qt; the desktop program wrote it with
// QSettings before, and people edit it by hand. Whatever one side writes, the other reads the
// same, and a hand-edited file reads as QSettings read it.
#include <gtest/gtest.h>

#include <QSettings>
#include <fstream>
#include <iterator>

#include "core/settings/IniFile.h"
#include "core/settings/KelvoIni.h"
#include "core/settings/Utf8Decoder.h"
#include "support/FileText.h"
#include "support/TempWorkDir.h"

namespace {

// A fresh QSettings on a copy under a name never used before: Qt keeps what it read of a path
// for the whole process and would not read the file again.
QSettings* readByQt(const TempWorkDir& dir, const std::string& text) {
    static int serial = 0;
    const std::string copy = dir.file("qt-" + std::to_string(serial++) + ".ini");
    std::ofstream(copy, std::ios::binary) << text;
    return new QSettings(QString::fromStdString(copy), QSettings::IniFormat);
}

}  // namespace

TEST(KelvoIniCompatibility, TrickyValuesCrossBetweenQSettingsAndTheCoreUnchanged) {
    TempWorkDir dir;
    const std::string values[] = {
        "",
        "plain",
        "\"quoted\" and \\back\\slashed\\",
        "a,b, c",      // unquoted, a list
        "semi;colon",  // unquoted, a comment
        "key=value",   // unquoted, the first '=' would be the key's
        "  blanks at both ends  ",
        "\ttab first and last\t",
        "@at",  // stored as "@@at"
        "@@two",
        "@ByteArray(x)",  // not Qt's byte array: it is what the user typed
        "@Invalid()",
        "\\x41 and \\0 are no escapes",
        "Gr\xc3\xbc\xc3\x9f"
        "e, \xe6\xb8\xa9\xe5\xba\xa6 \xf0\x9f\x98\x80",
        "line\nbreak\r\x01\x1f\x7f\x07\x08\x0b\x0c",
        std::string("nul\0"
                    "7 after",
                    11),  // a digit after \0 must not join it
        "\x01"
        "7",                           // nor one after \x1
        "\t\xef\xbb\xbf after a tab",  // a byte order mark where Qt's reader drops one
    };
    for (const std::string& value : values) {
        SCOPED_TRACE(value);
        // QSettings writes, the core reads what QSettings reads.
        const std::string qtFile = dir.file("by-qt.ini");
        std::remove(qtFile.c_str());
        {
            QSettings ini(QString::fromStdString(qtFile), QSettings::IniFormat);
            ini.setValue("mqtt/password", QString::fromStdString(value));
        }
        std::unique_ptr<QSettings> qt(readByQt(dir, fileText(qtFile)));
        EXPECT_EQ(loadKelvoIni(qtFile).mqtt.password,
                  qt->value("mqtt/password").toString().toStdString());

        // The core writes, QSettings reads the value itself.
        KelvoIni settings;
        settings.mqtt.password = value;
        const std::string coreFile = dir.file("by-core.ini");
        ASSERT_TRUE(saveKelvoIni(coreFile, settings));
        qt.reset(readByQt(dir, fileText(coreFile)));
        EXPECT_EQ(qt->value("mqtt/password").toString().toStdString(), value) << fileText(coreFile);
    }
}

TEST(KelvoIniCompatibility, HandEditedFilesReadAsQSettingsReadsThem) {
    TempWorkDir dir;
    const std::string files[] = {
        "; a comment\n\n  [mqtt]  \n  host  =  broker  \n# no comment=1\npassword = \" spaced \"\n",
        "[General]\nhost=general\n[mqtt]\nHost=upper\nhost=lower\n[MQTT]\nhost=shouting\n",
        "[mqtt]\nhost=a, b\npassword=\"a, b\"\nport=\"1\"883\n",
        "[mqtt]\r\nhost=\"over\nlines\"\r\npassword=x ; after\r\nport=1883;\n",
        "\xef\xbb\xbf[mqtt]\nhost=file with bom\n[link]\nreconnect=false\n[mqtt]\npassword=again\n",
        "[mqtt]\nhost=\\x48\\x0065llo\\\n "
        "continued\npassword=@@at\nusername=@ByteArray(\xc3\xa9)\n",
        "[%General]\nhost=x\n[%6D%71tt]\nhost=escaped\\\\name\n[link]\nreconnect=TRUE",
        "[mqtt/a]\nx=1\n[mqtt]\nhost=unseen by QSettings\n",
        "[mqtt]\nhost=\"never closed\n[link]\nreconnect=false\n",
        "[mqtt]\npassword=gr\xfc\xdf\\te \xc3\n=\\\nhost\\=x\n[mqtt\\sub]\nhost=sub\n",
        "mqtt\\host=in general\n[mqtt]\nport= 1883 \n",
    };
    // In the order Kelvo asks: with odd section names, the order decides what QSettings finds.
    const char* keys[] = {"link/reconnect", "mqtt/host", "mqtt/port", "mqtt/username",
                          "mqtt/password",  "mqtt/Host", "host",      "General/host",
                          "mqtt/sub/host",  "MQTT/host"};
    for (const std::string& text : files) {
        SCOPED_TRACE(text);
        std::unique_ptr<QSettings> qt(readByQt(dir, text));
        IniFile core(text);
        for (const char* key : keys) {
            SCOPED_TRACE(key);
            // Both sides look up as often: a lookup may parse a section the next one sees.
            const std::u16string name = utf16FromUtf8(key);
            const bool inQt = qt->contains(key);
            ASSERT_EQ(core.find(name).has_value(), inQt);
            if (inQt) {
                EXPECT_EQ(utf8FromUtf16(iniText(*core.find(name))),
                          qt->value(key).toString().toStdString());
            }
        }
    }
}
