// Stored profiles: the five entries, their order, refusal of names the file cannot hold,
// and the comparison behind the unsaved-changes question.
#include "profiles/Preferences.h"
#include "profiles/ProfileStore.h"
#include "scheduler/NextRun.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

tProfile Sample(const std::string& name, const std::string& left) {
    tProfile p;
    SetInitialValues(p);
    p.Name = name;
    p.LeftPath = left;
    p.RightPath = "/backup";
    p.BaseFolderItems = "items";
    p.LastRunResult = "ok";
    return p;
}

} // namespace

TEST(ProfileStore, FiveEntriesKeepTheirPlaceOnOverwriteAndGoTogether) {
    test::TempTree home;
    tPreferences store(home.Path(".CorvaneX"));
    ASSERT_EQ(StoreProfile(store, Sample("one", "/a")), "");
    tProfile two = Sample("two", "/b");
    two.WatchQuiet = 7;
    ASSERT_EQ(StoreProfile(store, two), "");
    store.Write("opt_short", "too short to be a profile", "Profiles");
    ASSERT_EQ(StoreProfile(store, Sample("one", "/changed")), "");
    ASSERT_EQ(StoreProfile(store, Sample("three", "/c")), "");
    EXPECT_EQ(StoredProfileNames(store), (std::vector<std::string>{"one", "two", "three"}));

    auto one = LoadStoredProfile(store, "one");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->LeftPath, "/changed");
    EXPECT_EQ(one->BaseFolderItems, "items");
    EXPECT_EQ(one->LastRunResult, "ok");
    EXPECT_EQ(store.Read("msk_one", "FileMasks"), "(all)");
    EXPECT_EQ(store.Read("xcl_one", "ExcludeMasks"), "(none)");
    EXPECT_FALSE(LoadStoredProfile(store, "short"));
    // The quiet time of a watched profile sits beside the record; unwatched ones have none.
    EXPECT_EQ(store.Read("wat_two", "Watch"), "7");
    EXPECT_EQ(LoadStoredProfile(store, "two")->WatchQuiet, 7);
    EXPECT_FALSE(store.Has("wat_one", "Watch"));
    EXPECT_EQ(one->WatchQuiet, 0);
    tProfile watchedOne = *one;
    EXPECT_FALSE(DiffersFromStored(store, "one", watchedOne, "", ""));
    watchedOne.WatchQuiet = 3;
    EXPECT_TRUE(DiffersFromStored(store, "one", watchedOne, "", ""));
    tProfile unwatched = *LoadStoredProfile(store, "two");
    unwatched.WatchQuiet = 0;
    EXPECT_TRUE(DiffersFromStored(store, "two", unwatched, "", ""));
    store.Write("wat_three", "soon", "Watch");
    EXPECT_EQ(LoadStoredProfile(store, "three")->WatchQuiet, 0) << "a value that is no number is off";

    RemoveStoredProfile(store, "two");
    EXPECT_EQ(StoredProfileNames(store), (std::vector<std::string>{"one", "three"}));
    for (const char* section :
         {"Profiles", "BaseFolderItems", "FileMasks", "ExcludeMasks", "Reports", "Watch"})
        for (const auto& [key, value] : *store.Section(section))
            EXPECT_EQ(key.find("two"), std::string::npos) << section << " " << key;

    // Names the file cannot hold are refused before anything is written.
    const std::string before = store.Text();
    for (const char* bad : {"a=b", "[x]", " lead", "trail ", "", "line\nbreak"})
        EXPECT_NE(StoreProfile(store, Sample(bad, "/x")), "") << bad;
    EXPECT_EQ(store.Text(), before);
}

TEST(ProfileStore, ChangeDetectionSkipsScheduledAndAnAutomaticAdvance) {
    test::TempTree home;
    tPreferences store(home.Path(".CorvaneX"));
    tProfile p = Sample("p", "/a");
    p.NextRun = EncodeDateTime({2026, 1, 1, 8, 0, 0});
    ASSERT_EQ(StoreProfile(store, p), "");
    EXPECT_FALSE(DiffersFromStored(store, "p", p, "", ""));

    tProfile edited = p;
    edited.Scheduled = true; // character 1024
    EXPECT_FALSE(DiffersFromStored(store, "p", edited, "", ""));
    edited.Repeat = !p.Repeat; // character 1025
    EXPECT_TRUE(DiffersFromStored(store, "p", edited, "", ""));

    edited = p;
    edited.NextRun = EncodeDateTime({2026, 1, 2, 8, 0, 0});
    EXPECT_TRUE(DiffersFromStored(store, "p", edited, "", ""));
    EXPECT_FALSE(DiffersFromStored(store, "p", edited, NextRunText(p.NextRun), NextRunText(edited.NextRun)));
    EXPECT_TRUE(DiffersFromStored(store, "p", edited, NextRunText(edited.NextRun), NextRunText(p.NextRun)));

    edited = p;
    edited.UA_DeleteFiles = true; // past the next run
    EXPECT_TRUE(DiffersFromStored(store, "p", edited, "", ""));
    edited = p;
    edited.SymLinks = 2;
    EXPECT_TRUE(DiffersFromStored(store, "p", edited, "", ""));

    // The mask copies count too, and so does the record when only they were changed by hand.
    store.Write("msk_p", "*.doc", "FileMasks");
    EXPECT_TRUE(DiffersFromStored(store, "p", p, "", ""));
}

TEST(ProfileStore, RememberEntryGoesWithTheProfileAndOnlyWhileOn) {
    test::TempTree home;
    tPreferences store(home.Path(".CorvaneX"));
    tProfile on = Sample("two-way", "/a");
    on.RememberLastRun = true;
    ASSERT_EQ(StoreProfile(store, on), "");
    ASSERT_EQ(StoreProfile(store, Sample("plain", "/b")), "");
    EXPECT_EQ(store.Read("rem_two-way", "Remember"), "1");
    EXPECT_FALSE(store.Has("rem_plain", "Remember")) << "off: no entry at all";
    EXPECT_TRUE(LoadStoredProfile(store, "two-way")->RememberLastRun);
    EXPECT_FALSE(LoadStoredProfile(store, "plain")->RememberLastRun);
    const std::string record = store.Read("opt_two-way", "Profiles");
    EXPECT_EQ(record, EncodeOptions(Sample("two-way", "/a"))) << "the record itself is unchanged";

    // The switch alone is a change of the edited profile.
    tProfile edited = *LoadStoredProfile(store, "two-way");
    EXPECT_FALSE(DiffersFromStored(store, "two-way", edited, "", ""));
    edited.RememberLastRun = false;
    EXPECT_TRUE(DiffersFromStored(store, "two-way", edited, "", ""));

    // Saved off, renamed (stored anew, old removed) and deleted: the entry follows.
    ASSERT_EQ(StoreProfile(store, edited), "");
    EXPECT_FALSE(store.Has("rem_two-way", "Remember"));
    on.Name = "renamed";
    ASSERT_EQ(StoreProfile(store, on), "");
    RemoveStoredProfile(store, "two-way");
    EXPECT_EQ(store.Read("rem_renamed", "Remember"), "1");
    RemoveStoredProfile(store, "renamed");
    EXPECT_FALSE(store.Has("rem_renamed", "Remember"));
}
