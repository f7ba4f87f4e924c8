#include "errortrap.h"
#include "settings.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace quillivar;

TEST(Settings, ValuesAreTextAndComeBack) {
    QTemporaryDir folder;
    const QString file = folder.path() + "/Quillivar.ini";
    SettingsStore store(file);
    EXPECT_EQ(store.GetSetting("Slider1", "75"), "75");
    store.SaveSetting("Slider1", "42");
    store.SaveSetting("Text1", "C:\\\\Out\\\\, with \"quotes\" = and; more");
    store.SaveSetting("Option1", TruthText(false));
    SettingsStore again(file);
    EXPECT_EQ(again.GetSetting("Slider1", "75"), "42");
    EXPECT_EQ(again.GetSetting("Text1", ""), "C:\\\\Out\\\\, with \"quotes\" = and; more");
    EXPECT_EQ(again.GetSetting("Option1", "1"), "False");
}

TEST(Settings, ConversionsAcceptWhatTheStoreHoldsAndRefuseTheRest) {
    EXPECT_EQ(ToInt32("75"), 75);
    EXPECT_EQ(ToInt32(" -3 "), -3);
    EXPECT_THROW(ToInt32("high"), Failure);
    EXPECT_THROW(ToInt32(""), Failure);
    EXPECT_THROW(ToInt32("99999999999"), Failure);
    EXPECT_TRUE(ToTruth("True"));
    EXPECT_TRUE(ToTruth("tRUE"));
    EXPECT_FALSE(ToTruth("false"));
    EXPECT_TRUE(ToTruth("1"));
    EXPECT_TRUE(ToTruth("-1"));
    EXPECT_FALSE(ToTruth("0"));
    EXPECT_THROW(ToTruth("yes"), Failure);
    EXPECT_EQ(TruthText(true), "True");
}

TEST(Settings, TwoProgramsWritingAtOnceLoseNothing) {
    QTemporaryDir folder;
    const QString file = folder.path() + "/Quillivar.ini";
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = fork();
        if (writers[w] == 0) {
            SettingsStore store(file);
            const QString own = w == 0 ? "Text1" : "LastFolder";
            for (int i = 0; i < 150; ++i) {
                store.SaveSetting(own, QString("/folder/%1").arg(i));
                store.SaveSetting("Slider1", QString::number(i));
            }
            _exit(0);
        }
    }
    for (const pid_t writer : writers) {
        int status = 0;
        waitpid(writer, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    QSettings check(file, QSettings::IniFormat);
    EXPECT_EQ(check.status(), QSettings::NoError);
    EXPECT_EQ(check.value("Text1").toString(), "/folder/149");
    EXPECT_EQ(check.value("LastFolder").toString(), "/folder/149");
    EXPECT_EQ(check.value("Slider1").toString(), "149");
}

TEST(Settings, ACorruptOrUnreadableStoreGivesTheDefaults) {
    QTemporaryDir folder;
    const QString corrupt = folder.path() + "/corrupt.ini";
    QFile garbage(corrupt);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    QByteArray bytes;
    for (int i = 0; i < 4096; ++i) bytes.append(static_cast<char>((i * 7919) % 256));
    garbage.write(bytes);
    garbage.close();
    SettingsStore store(corrupt);
    EXPECT_EQ(store.GetSetting("Slider1", "75"), "75");
    EXPECT_EQ(store.GetSetting("Text1", "/home/ann/Desktop/"), "/home/ann/Desktop/");
    store.SaveSetting("Slider1", "60");  // a fresh store took its place; the old one is kept
    EXPECT_EQ(SettingsStore(corrupt).GetSetting("Slider1", "75"), "60");
    QFile aside(corrupt + ".corrupt");
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), bytes);

    const QString notAFile = folder.path() + "/a-folder.ini";
    ASSERT_TRUE(QDir().mkdir(notAFile));
    SettingsStore unreadable(notAFile);
    EXPECT_EQ(unreadable.GetSetting("Option1", "1"), "1");
    EXPECT_THROW(unreadable.SaveSetting("Option1", "True"), Failure);
}
