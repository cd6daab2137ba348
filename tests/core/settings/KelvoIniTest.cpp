// kelvo.ini: defaults for what is missing or out of range, every key written back with what
// Kelvo does not know kept, and a file that may hold a password never readable by others.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "core/settings/IniFile.h"
#include "core/settings/KelvoIni.h"
#include "support/FileText.h"
#include "support/TempWorkDir.h"

namespace {

mode_t permissions(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

}  // namespace

TEST(KelvoIni, ReadsDefaultsForWhatIsMissingOrWrongAndWritesOwnerOnly) {
    TempWorkDir dir;
    const std::string path = dir.file("kelvo.ini");
    writeFileText(path,
        "[link]\nreconnect=maybe\n"
        "[archive]\nkeep_days=-3\nfile=\n"
        "[mqtt]\nenabled=true\nport=70000\nprefix=home/kelvo\npassword=s3cret\n");
    ::chmod(path.c_str(), 0644);
    KelvoIni settings = loadKelvoIni(path);
    const KelvoIni defaults;
    EXPECT_EQ(settings.link.reconnect, defaults.link.reconnect);
    EXPECT_EQ(settings.archive.keepDays, 0);
    EXPECT_EQ(settings.archive.file, "kelvo-archive.sqlite");
    EXPECT_TRUE(settings.mqtt.enabled);
    EXPECT_EQ(settings.mqtt.port, 1883);
    EXPECT_EQ(settings.mqtt.prefix, "home/kelvo");
    EXPECT_EQ(settings.mqtt.password, "s3cret");
    // A file from before node ids: the one its prefix gave, so the entities stay the same.
    EXPECT_EQ(settings.mqtt.nodeId, "home_kelvo");
    EXPECT_TRUE(settings.nodeIdChosen);

    // Round trip of every value, through a file that was readable by others before.
    settings.link.reconnect = false;
    settings.archive = {false, "/var/tmp/a b.sqlite", 400};
    settings.mqtt.host = "broker.local";
    settings.mqtt.port = 8883;
    settings.mqtt.tlsCaFile = "/etc/ssl/ca.pem";
    settings.mqtt.tlsCertFile = "/etc/kelvo/client.pem";
    settings.mqtt.tlsKeyFile = "/etc/kelvo/client.key";
    settings.mqtt.prefix = "other";  // the node id stays what it was
    settings.mqtt.allowSwitching = true;
    settings.mqtt.discovery = false;
    ASSERT_TRUE(saveKelvoIni(path, settings));
    EXPECT_EQ(permissions(path), 0600u);
    const KelvoIni back = loadKelvoIni(path);
    EXPECT_FALSE(back.link.reconnect);
    EXPECT_FALSE(back.archive.enabled);
    EXPECT_EQ(back.archive.file, "/var/tmp/a b.sqlite");
    EXPECT_EQ(back.archive.keepDays, 400);
    EXPECT_EQ(back.mqtt.host, "broker.local");
    EXPECT_EQ(back.mqtt.port, 8883);
    EXPECT_EQ(back.mqtt.tlsCaFile, "/etc/ssl/ca.pem");
    EXPECT_TRUE(back.mqtt.allowSwitching);
    EXPECT_FALSE(back.mqtt.discovery);
    EXPECT_EQ(back.mqtt.password, "s3cret");
    EXPECT_EQ(back.mqtt.tlsCertFile, "/etc/kelvo/client.pem");
    EXPECT_EQ(back.mqtt.tlsKeyFile, "/etc/kelvo/client.key");
    EXPECT_EQ(back.mqtt.nodeId, "home_kelvo");
    EXPECT_FALSE(back.nodeIdChosen);

    // A new file is created owner-only too.
    const std::string fresh = dir.file("new.ini");
    ASSERT_TRUE(saveKelvoIni(fresh, KelvoIni{}));
    EXPECT_EQ(permissions(fresh), 0600u);
    EXPECT_TRUE(loadKelvoIni(fresh).archive.enabled);
    // No file: a node id of its own, different for every installation.
    const KelvoIni first = loadKelvoIni(dir.file("none.ini"));
    EXPECT_TRUE(first.nodeIdChosen);
    EXPECT_EQ(first.mqtt.nodeId.rfind("kelvo_", 0), 0u);
    EXPECT_NE(first.mqtt.nodeId, loadKelvoIni(dir.file("none.ini")).mqtt.nodeId);
}

TEST(KelvoIni, SaveKeepsWhatKelvoDoesNotKnowAndReplacesALinkNotItsTarget) {
    TempWorkDir dir;
    const std::string target = dir.file("elsewhere.ini");
    const std::string path = dir.file("kelvo.ini");
    const std::string hand =
        "; written by hand\n"
        "owner=Jo\n"
        "[mqtt]\n"
        "host = broker.local\n"
        "qos=1\n"
        "extra=\"a,b\", c\n"
        "[other]\n"
        "x=@@y\n";
    writeFileText(target, hand);
    ASSERT_EQ(::symlink("elsewhere.ini", path.c_str()), 0);
    KelvoIni settings = loadKelvoIni(path);  // read through the link
    EXPECT_EQ(settings.mqtt.host, "broker.local");
    settings.mqtt.host = "other.local";

    ASSERT_TRUE(saveKelvoIni(path, settings));
    EXPECT_EQ(fileText(target), hand);
    EXPECT_EQ(permissions(path), 0600u);  // a file of its own now, not a link
    const auto entries = IniFile(fileText(path)).entries();
    EXPECT_EQ(entries.at(u"owner"), IniValue::text(u"Jo"));
    EXPECT_EQ(entries.at(u"mqtt/qos"), IniValue::text(u"1"));
    EXPECT_EQ(entries.at(u"mqtt/extra"), (IniValue{{u"a,b", u"c"}, true}));
    EXPECT_EQ(entries.at(u"other/x"), IniValue::text(u"@@y"));
    EXPECT_EQ(entries.at(u"mqtt/host"), IniValue::text(u"other.local"));
    EXPECT_EQ(entries.size(), 4u + 18u);  // and Kelvo's 18 keys, each once
}
