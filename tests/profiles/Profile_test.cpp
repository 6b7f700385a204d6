#include "profiles/DateTime.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

tProfile Sample() {
    tProfile p;
    SetInitialValues(p);
    p.Name = "Photos";
    p.LeftPath = "/home/ann/Photos";
    p.RightPath = "/media/backup/Photos";
    p.FileMasks = "*.jpg;*.png";
    p.ExcludeMasks = "*.tmp";
    p.Ignore2Secs = true;
    p.SymLinks = 2;
    p.Scheduled = true;
    p.NextRun = EncodeDateTime({2027, 3, 14, 15, 9, 26});
    p.Days = 7;
    p.Hours = 12;
    p.Minutes = 30;
    p.RepeatMode = 2;
    p.Database = true;
    p.WaitMins = 45;
    p.ExactMirror = true;
    p.RightToLeft = false;
    p.UA_DeleteFiles = true;
    p.RepeatTimes = 123456;
    p.LastRun = EncodeDateTime({2026, 12, 8, 9, 5, 0});
    p.HiddenFolders = true;
    p.MultipleVersions = true;
    p.MaxVersions = 5;
    p.VersionsFolder = "Old Versions";
    p.VolumeLabel = "BACKUP.01";
    p.CacheRight = true;
    p.AutoUpdate = true;
    return p;
}

void ExpectSameStoredFields(const tProfile& a, const tProfile& b) {
    EXPECT_EQ(EncodeOptions(a), EncodeOptions(b));
    EXPECT_EQ(a.LeftPath, b.LeftPath);
    EXPECT_EQ(a.RightPath, b.RightPath);
    EXPECT_EQ(a.FileMasks, b.FileMasks);
    EXPECT_EQ(a.ExcludeMasks, b.ExcludeMasks);
    EXPECT_DOUBLE_EQ(a.NextRun, b.NextRun);
    EXPECT_DOUBLE_EQ(a.LastRun, b.LastRun);
    EXPECT_EQ(a.RepeatTimes, b.RepeatTimes);
    EXPECT_EQ(a.VersionsFolder, b.VersionsFolder);
    EXPECT_EQ(a.VolumeLabel, b.VolumeLabel);
}

} // namespace

TEST(ProfileRecord, LayoutOfTheRecord) {
    tProfile p = Sample();
    std::string r = EncodeOptions(p);
    ASSERT_EQ(r.size(), 1270u);
    EXPECT_EQ(r.substr(0, 16), "/home/ann/Photos");
    EXPECT_EQ(r[254], ' ');
    EXPECT_EQ(r.substr(255, 20), "/media/backup/Photos");
    EXPECT_EQ(r.substr(510, 11), "*.jpg;*.png");
    EXPECT_EQ(r.substr(765, 5), "*.tmp");
    EXPECT_EQ(r.substr(1020, 5), "JN2JJ");
    EXPECT_EQ(r.substr(1025, 10), "14.03.2027");
    EXPECT_EQ(r.substr(1035, 10), "15:09:26  ");
    EXPECT_EQ(r.substr(1045, 14), "   7  12  30 2");
    EXPECT_EQ(r.substr(1059, 6), "JJ  45");
    EXPECT_EQ(r.substr(1077, 10), "    123456");
    EXPECT_EQ(r.substr(1087, 20), "08.12.2026 09:05:00 ");
    EXPECT_EQ(r.substr(1112, 4), "   5");
    EXPECT_EQ(r.substr(1118, 12), "Old Versions");
    EXPECT_EQ(r.substr(1218, 9), "BACKUP.01");
    EXPECT_EQ(r.substr(1268, 2), "JJ");
}

TEST(ProfileRecord, RoundTripsThroughRecordAndStore) {
    test::TempTree t;
    tProfile p = Sample();
    {
        tPreferences store(t.Path("prefs"));
        ASSERT_TRUE(store.Write("opt_" + p.Name, EncodeOptions(p), "Profiles"));
        ASSERT_EQ(store.Flush(), "");
    }
    tPreferences store(t.Path("prefs"));
    store.Load();
    tProfile q;
    ASSERT_TRUE(DecodeOptions(q, store.Read("opt_Photos", "Profiles")));
    ExpectSameStoredFields(p, q);

    // A new profile with its initial values, also with an empty left path: the record
    // then starts with 255 blanks and must still read back exactly from the file.
    tProfile fresh;
    SetInitialValues(fresh);
    fresh.RightPath = "/b";
    store.Write("opt_fresh", EncodeOptions(fresh), "Profiles");
    ASSERT_EQ(store.Flush(), "");
    tPreferences again(t.Path("prefs"));
    again.Load();
    tProfile back;
    ASSERT_TRUE(DecodeOptions(back, again.Read("opt_fresh", "Profiles")));
    ExpectSameStoredFields(fresh, back);
    EXPECT_TRUE(back.LeftPath.empty());
    EXPECT_EQ(back.RightPath, "/b");
}

TEST(ProfileRecord, PathsAreCutAndTrimmed) {
    tProfile p = Sample();
    p.LeftPath = std::string(300, 'x');
    p.RightPath = "/with/trailing   ";
    tProfile q;
    ASSERT_TRUE(DecodeOptions(q, EncodeOptions(p)));
    EXPECT_EQ(q.LeftPath, std::string(255, 'x'));
    EXPECT_EQ(q.RightPath, "/with/trailing");
}

TEST(ProfileRecord, ShortAndOldRecords) {
    tProfile p = Sample();
    std::string r = EncodeOptions(p);
    tProfile untouched = Sample();
    untouched.LeftPath = "unchanged";
    EXPECT_FALSE(DecodeOptions(untouched, r.substr(0, 1066)));
    EXPECT_EQ(untouched.LeftPath, "unchanged");

    tProfile old;
    old.NextRun = 1234.5;
    ASSERT_TRUE(DecodeOptions(old, r.substr(0, 1067)));
    EXPECT_EQ(old.LeftPath, p.LeftPath);
    EXPECT_TRUE(old.Unattended == p.Unattended);
    EXPECT_FALSE(old.RightToLeft);
    EXPECT_FALSE(old.LeftToRight);
    EXPECT_FALSE(old.AutoUpdate);
    EXPECT_EQ(old.RepeatTimes, 1);
    EXPECT_EQ(old.MaxVersions, 2);
    EXPECT_EQ(old.LastRun, 0);
    EXPECT_EQ(old.VersionsFolder, "");
    EXPECT_DOUBLE_EQ(old.NextRun, p.NextRun);
}

TEST(ProfileRecord, FlagsNumbersAndSymLinkMode) {
    std::string r = EncodeOptions(Sample());
    auto decodeWith = [&](size_t pos, std::string_view text) {
        std::string rec = r;
        rec.replace(pos - 1, text.size(), text);
        tProfile q;
        EXPECT_TRUE(DecodeOptions(q, rec));
        return q;
    };
    for (char c : {'J', 'j', 'Y', 'y', '1'}) EXPECT_TRUE(decodeWith(1021, {&c, 1}).Ignore2Secs) << c;
    for (char c : {'N', '0', ' ', 'x'}) EXPECT_FALSE(decodeWith(1021, {&c, 1}).Ignore2Secs) << c;
    EXPECT_EQ(decodeWith(1023, "7").SymLinks, 2);
    EXPECT_EQ(decodeWith(1023, " ").SymLinks, 0);
    EXPECT_EQ(decodeWith(1046, "  x1").Days, 0);
    EXPECT_EQ(decodeWith(1062, "abcd").WaitMins, 0);
    EXPECT_EQ(decodeWith(1113, "   ?").MaxVersions, 2);
    EXPECT_EQ(decodeWith(1078, "    -5    ").RepeatTimes, -5);
    EXPECT_EQ(decodeWith(1078, "   1 2    ").RepeatTimes, 1);
    // Numbers: leading blanks are skipped; trailing blanks or tabs make the default.
    EXPECT_EQ(decodeWith(1046, "  -7").Days, -7);
    EXPECT_EQ(decodeWith(1046, "  7 ").Days, 0);
    EXPECT_EQ(decodeWith(1050, "\t 12").Hours, 0);
    EXPECT_EQ(decodeWith(1054, "30\t ").Minutes, 0);
    EXPECT_EQ(decodeWith(1058, " 1").RepeatMode, 1);
    EXPECT_EQ(decodeWith(1058, "1 ").RepeatMode, 0);
    EXPECT_EQ(decodeWith(1062, " 45 ").WaitMins, 0);
    EXPECT_EQ(decodeWith(1113, " 3  ").MaxVersions, 2);
    EXPECT_EQ(decodeWith(1113, "   3").MaxVersions, 3);
    EXPECT_EQ(decodeWith(1113, "    ").MaxVersions, 2);
    // Only RepeatTimes is trimmed first: trailing blanks are fine, a tab after it is not.
    EXPECT_EQ(decodeWith(1078, "  8       ").RepeatTimes, 8);
    EXPECT_EQ(decodeWith(1078, "  8\t      ").RepeatTimes, 1);
    EXPECT_EQ(decodeWith(1078, "          ").RepeatTimes, 1);
    // A date that does not parse keeps the old NextRun; LastRun falls back to 0.
    tProfile q;
    q.NextRun = 42.25;
    std::string rec = r;
    rec.replace(1025, 10, "31.02.2027");
    rec.replace(1087, 20, "not a date          ");
    ASSERT_TRUE(DecodeOptions(q, rec));
    EXPECT_DOUBLE_EQ(q.NextRun, 42.25);
    EXPECT_EQ(q.LastRun, 0);
}

TEST(ProfileRecord, NumbersAreClampedIntoTheirWidth) {
    tProfile p = Sample();
    p.Days = 123456;
    p.Hours = -12345;
    p.RepeatMode = 100;
    p.MaxVersions = 99999;
    std::string r = EncodeOptions(p);
    ASSERT_EQ(r.size(), 1270u);
    tProfile q;
    ASSERT_TRUE(DecodeOptions(q, r));
    EXPECT_EQ(q.Days, 9999);
    EXPECT_EQ(q.Hours, -999);
    EXPECT_EQ(q.RepeatMode, 99);
    EXPECT_EQ(q.MaxVersions, 9999);
    EXPECT_EQ(q.VersionsFolder, p.VersionsFolder) << "the layout did not shift";
}

TEST(ProfileRecord, InitialAndDefaultValues) {
    tProfile p;
    SetInitialValues(p);
    EXPECT_EQ(p.FileMasks, "(all)");
    EXPECT_EQ(p.ExcludeMasks, "(none)");
    EXPECT_TRUE(p.Subfolders && p.LeftToRight && p.RightToLeft && p.DetectMoved && p.Wait);
    EXPECT_EQ(p.WaitMins, 10);
    EXPECT_FALSE(p.RecycleOverwrittenFiles);
    EXPECT_TRUE(p.RecycleDeletedFiles);
    EXPECT_FALSE(p.UseVersionsFolder);
    EXPECT_EQ(p.SymLinks, 0);
    EXPECT_EQ(p.RepeatTimes, 5);
    EXPECT_TRUE(p.UA_OverwriteReadOnly && p.UA_OverwriteLarger);

    p.LeftPath = "/keep";
    p.RepeatTimes = 9;
    p.SymLinks = 2;
    p.ExactMirror = true;
    SetDefaultValues(p);
    EXPECT_EQ(p.LeftPath, "/keep");
    EXPECT_EQ(p.RepeatTimes, 9);
    EXPECT_EQ(p.SymLinks, 1);
    EXPECT_FALSE(p.ExactMirror);
    EXPECT_TRUE(p.RecycleOverwrittenFiles);
    EXPECT_TRUE(p.UseVersionsFolder);
    EXPECT_EQ(p.VersionsFolder, "Older");
}

TEST(ProfileRecord, Dangerous) {
    tProfile p;
    p.ExactMirror = true;
    p.UA_DeleteFiles = true;
    EXPECT_FALSE(IsDangerous(p, false));
    EXPECT_TRUE(IsDangerous(p, true));
    p.Unattended = true;
    EXPECT_TRUE(IsDangerous(p, false));
    p.UA_DeleteFiles = false;
    EXPECT_FALSE(IsDangerous(p, true));
    p.UA_OverwriteNewer = true;
    p.ExactMirror = false;
    EXPECT_FALSE(IsDangerous(p, true));
}

TEST(ProfileRecord, NamesAndPathsTheStoreCannotHold) {
    EXPECT_EQ(ValidateProfileName("Photos 2026"), "");
    EXPECT_NE(ValidateProfileName(""), "");
    EXPECT_NE(ValidateProfileName("   "), "");
    EXPECT_NE(ValidateProfileName("a\nb"), "");
    EXPECT_NE(ValidateProfileName("a=b"), "");
    EXPECT_NE(ValidateProfileName("[x]"), "");
    EXPECT_NE(ValidateProfileName(" lead"), "");
    EXPECT_NE(ValidateProfileName("trail "), "");
    tProfile p = Sample();
    EXPECT_EQ(ValidateProfilePaths(p), "");
    p.LeftPath = "/a\n/b";
    EXPECT_NE(ValidateProfilePaths(p), "");
    p.LeftPath = std::string(256, 'a');
    EXPECT_NE(ValidateProfilePaths(p), "");
}

TEST(DateTimes, DayNumbersAndTexts) {
    EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime({2003, 5, 9, 0, 0, 0}), 37750.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime({1970, 1, 1, 12, 0, 0}), 25569.5);
    tDateTime v = EncodeDateTime({2026, 12, 8, 14, 5, 33});
    EXPECT_EQ(DateText10(v), "08.12.2026");
    EXPECT_EQ(TimeText8(v), "14:05:33");
    EXPECT_EQ(DateTimeText(v), "08.12.2026 14:05:33");
    EXPECT_EQ(DateTimeText(EncodeDateTime({2026, 12, 8, 0, 0, 0})), "08.12.2026");
    EXPECT_EQ(DateStamp(v), "2026-12-08");
    ASSERT_TRUE(ParseDateTime("08.12.2026 14:05:33"));
    EXPECT_DOUBLE_EQ(*ParseDateTime(" 08.12.2026 14:05:33 "), v);
    EXPECT_FALSE(ParseDate("29.02.2027"));
    EXPECT_TRUE(ParseDate("29.02.2028"));
    EXPECT_FALSE(ParseTime("24:00:00"));
    EXPECT_FALSE(ParseDateTime("2026-12-08"));
}

TEST(DateTimes, UnixSecondsRoundTripInLocalTime) {
    for (int64_t secs : {int64_t(0), int64_t(1000000000), int64_t(2208988800) /* 2040 */}) {
        tDateTime d = UnixToDateTime(secs);
        EXPECT_EQ(DateTimeToUnix(d), secs);
    }
    EXPECT_GT(UnixToDateTime(2208988800), UnixToDateTime(1893456000)) << "2040 after 2030";
    tDateTime now = NowDateTime();
    EXPECT_GT(now, 46000.0);
}
