// Deleted and replaced files in the desktop's trash: whole unattended runs on real trees, the
// home trash and a volume's trash (a tmpfs mounted here), each trashed file restored by
// moving it back to the place its info file names.
#include "engine/RunDriver.h"
#include "engine/Trash.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "support/RunFixture.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sched.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace corvane {
namespace {

constexpr int64_t kOld = 1600000000;
constexpr int64_t kNew = 1700000000;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* d = readdir(dir)) {
            const std::string name = d->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string PercentDecoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// One trashed item as a file manager sees it: the original place from the info file
// (resolved against the top folder for a volume's trash) and the file in files/.
struct tTrashItem {
    std::string Original, File, Contents, Date;
};

// Every item of the trash folder, by original path. Checks the form of each info file.
std::map<std::string, tTrashItem> TrashItems(const std::string& trash, const std::string& top) {
    std::map<std::string, tTrashItem> items;
    for (const std::string& info : Names(trash + "/info")) {
        SCOPED_TRACE(info);
        const std::string suffix = ".trashinfo";
        EXPECT_GT(info.size(), suffix.size());
        const std::string name = info.substr(0, info.size() - suffix.size());
        std::istringstream text(ReadAll(trash + "/info/" + info));
        std::string line, path, date;
        std::getline(text, line);
        EXPECT_EQ(line, "[Trash Info]");
        while (std::getline(text, line)) {
            if (line.rfind("Path=", 0) == 0) path = line.substr(5);
            if (line.rfind("DeletionDate=", 0) == 0) date = line.substr(13);
        }
        // Bytes outside the plain set are percent-encoded.
        EXPECT_EQ(path.find(' '), std::string::npos) << path;
        std::string original = PercentDecoded(path);
        if (original.empty() || original[0] != '/') original = top + "/" + original;
        EXPECT_EQ(date.size(), 19u) << date; // 2026-12-10T13:05:58
        EXPECT_EQ(date[10], 'T');
        tTrashItem item{original, trash + "/files/" + name, ReadAll(trash + "/files/" + name),
                        date};
        EXPECT_EQ(access(item.File.c_str(), F_OK), 0) << item.File;
        items[original] = item;
    }
    return items;
}

// Restores an item as a file manager does: the file moves back, the info file goes.
void Restore(const tTrashItem& item, const std::string& infoFolder) {
    ASSERT_EQ(rename(item.File.c_str(), item.Original.c_str()), 0) << item.Original;
    const std::string name = item.File.substr(item.File.rfind('/') + 1);
    ASSERT_EQ(unlink((infoFolder + "/" + name + ".trashinfo").c_str()), 0);
}

class Trash : public test::RunFixture {
protected:
    std::string dataHome;
    std::string savedDataHome;

    void SetUp() override {
        RunFixture::SetUp();
        dataHome = home.Path("data");
        if (const char* saved = std::getenv("XDG_DATA_HOME")) savedDataHome = saved;
        setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
        RunSettings().Logging = 2;
        RunSettings().LogFolder = home.Path("logs");
    }
    void TearDown() override {
        setenv("XDG_DATA_HOME", savedDataHome.c_str(), 1);
        RunFixture::TearDown();
    }

    // An unattended exact mirror from the left to rightPath that deletes and replaces
    // without asking, both trash options on, no limit on deletions.
    tProfile Mirror(const std::string& rightPath) {
        tProfile p = Profile();
        p.RightPath = rightPath;
        p.LeftToRight = true;
        p.RightToLeft = false;
        p.ExactMirror = true;
        p.UA_DeleteFiles = p.UA_OverwriteNewer = p.UA_OverwriteLarger = true;
        p.RecycleDeletedFiles = p.RecycleOverwrittenFiles = true;
        p.MultipleVersions = false;
        RunSettings().DeleteLimit = 100;
        return p;
    }

    std::string LogText() {
        std::string text;
        for (const std::string& name : Names(home.Path("logs")))
            text += ReadAll(home.Path("logs/" + name));
        return text;
    }

    // The model: three files that stay; the mirror also holds what the run deletes and an
    // old copy of a file it replaces.
    void MakeTrees(const std::string& mirror) {
        left.WriteFile("keep.txt", "keep", kOld);
        left.WriteFile("report.txt", "new report", kNew);
        left.WriteFile("docs/keep.txt", "keep too", kOld);
        for (const auto& [rel, text] : std::vector<std::pair<std::string, std::string>>{
                 {"keep.txt", "keep"},
                 {"report.txt", "old report"},
                 {"docs/keep.txt", "keep too"},
                 {"gone.txt", "gone at the top"},
                 {"docs/gone.txt", "gone below"},
                 {"docs/old notes 50%.txt", "odd name"}}) {
            const std::string path = mirror + "/" + rel;
            std::filesystem::create_directories(std::filesystem::path(path).parent_path());
            std::ofstream(path, std::ios::binary) << text;
            const timespec times[2] = {{kOld, 0}, {kOld, 0}};
            utimensat(AT_FDCWD, path.c_str(), times, 0);
        }
    }

    // After the run the mirror matches the model; the trash holds the three deleted files
    // (two of them of one name) and the replaced report, each restorable to its place.
    void ExpectTrashedAndRestorable(const std::string& mirror, const std::string& trash,
                                    const std::string& top) {
        EXPECT_EQ(ReadAll(mirror + "/report.txt"), "new report");
        EXPECT_EQ(access((mirror + "/gone.txt").c_str(), F_OK), -1);
        EXPECT_EQ(access((mirror + "/docs/gone.txt").c_str(), F_OK), -1);
        EXPECT_EQ(Names(trash + "/files").size(), 4u);
        // Equal names get names of their own in the trash.
        EXPECT_EQ(Names(trash + "/files"),
                  (std::vector<std::string>{"gone.txt", "gone.txt.2", "old notes 50%.txt",
                                            "report.txt"}));
        auto items = TrashItems(trash, top);
        ASSERT_EQ(items.size(), 4u);
        ASSERT_EQ(items.count(mirror + "/gone.txt"), 1u);
        ASSERT_EQ(items.count(mirror + "/docs/gone.txt"), 1u);
        ASSERT_EQ(items.count(mirror + "/docs/old notes 50%.txt"), 1u);
        ASSERT_EQ(items.count(mirror + "/report.txt"), 1u);
        EXPECT_EQ(items[mirror + "/gone.txt"].Contents, "gone at the top");
        EXPECT_EQ(items[mirror + "/docs/gone.txt"].Contents, "gone below");
        EXPECT_EQ(items[mirror + "/report.txt"].Contents, "old report");

        // Restored as a file manager restores them: every byte is back where it was.
        std::rename((mirror + "/report.txt").c_str(), (mirror + "/report.new").c_str());
        for (const auto& [original, item] : items)
            Restore(item, trash + "/info");
        EXPECT_EQ(ReadAll(mirror + "/gone.txt"), "gone at the top");
        EXPECT_EQ(ReadAll(mirror + "/docs/gone.txt"), "gone below");
        EXPECT_EQ(ReadAll(mirror + "/docs/old notes 50%.txt"), "odd name");
        EXPECT_EQ(ReadAll(mirror + "/report.txt"), "old report");
        EXPECT_TRUE(Names(trash + "/files").empty());
        EXPECT_TRUE(Names(trash + "/info").empty());
        unlink((mirror + "/report.new").c_str());
    }
};

TEST_F(Trash, MirrorDeletionsAndAReplacedFileGoToTheHomeTrash) {
    MakeTrees(right.Root());
    tProfile p = Mirror(right.Root());
    ASSERT_TRUE(RunProfile(p, true)) << p.LastRunResult;
    EXPECT_EQ(p.LastRunResult, "1 copied, 3 deleted");
    EXPECT_TRUE(p.ResultNotes.empty());
    const std::string log = LogText();
    EXPECT_NE(log.find("DELETE " + right.Path("docs/gone.txt") + " (to the trash)\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("NO TRASH"), std::string::npos);
    ExpectTrashedAndRestorable(right.Root(), dataHome + "/Trash", "");
    // The home trash is the user's alone.
    struct stat st;
    ASSERT_EQ(stat((dataHome + "/Trash").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Without the options, files are deleted and replaced for good, as before.
    MakeTrees(right.Root());
    tProfile q = Mirror(right.Root());
    q.RecycleDeletedFiles = q.RecycleOverwrittenFiles = false;
    ASSERT_TRUE(RunProfile(q, true)) << q.LastRunResult;
    EXPECT_EQ(q.LastRunResult, "1 copied, 3 deleted");
    EXPECT_TRUE(Names(dataHome + "/Trash/files").empty());
    EXPECT_TRUE(Names(dataHome + "/Trash/info").empty());

    // Where an old version is kept, the trash gets nothing.
    MakeTrees(right.Root());
    tProfile v = Mirror(right.Root());
    v.MultipleVersions = true;
    v.MaxVersions = 2;
    ASSERT_TRUE(RunProfile(v, true)) << v.LastRunResult;
    EXPECT_TRUE(Names(dataHome + "/Trash/files").empty());
    EXPECT_EQ(ReadAll(right.Path("gone.$1$.txt")), "gone at the top");
}

// A tmpfs of its own, in a mount namespace of this process, so that nothing is left mounted.
class VolumeTrash : public Trash {
protected:
    test::TempTree volume;
    bool mounted = false;

    void SetUp() override {
        Trash::SetUp();
        if (unshare(CLONE_NEWNS) == 0) mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
        mounted = mount("tmpfs", volume.Root().c_str(), "tmpfs", 0, "size=4m,mode=0755") == 0;
    }
    void TearDown() override {
        if (mounted) umount2(volume.Root().c_str(), MNT_DETACH);
        Trash::TearDown();
    }
};

TEST_F(VolumeTrash, MirrorOntoAnotherFileSystemUsesItsTopFolderTrash) {
    if (!mounted) GTEST_SKIP() << "no tmpfs could be mounted here (needs root or CAP_SYS_ADMIN)";
    const std::string top = volume.Root();
    const std::string uid = std::to_string(geteuid());

    // Without an administrator's .Trash, the user's own .Trash-<uid>, with paths relative to
    // the top folder.
    MakeTrees(top + "/backup");
    tProfile p = Mirror(top + "/backup");
    ASSERT_TRUE(RunProfile(p, true)) << p.LastRunResult;
    EXPECT_EQ(p.LastRunResult, "1 copied, 3 deleted");
    EXPECT_TRUE(Names(dataHome + "/Trash/files").empty()) << "nothing crossed file systems";
    const std::string own = top + "/.Trash-" + uid;
    EXPECT_NE(ReadAll(own + "/info/gone.txt.trashinfo").find("Path=backup/"), std::string::npos);
    ExpectTrashedAndRestorable(top + "/backup", own, top);

    // A sticky .Trash that is no link: the user's folder inside it.
    ASSERT_EQ(mkdir((top + "/.Trash").c_str(), 01777), 0);
    ASSERT_EQ(chmod((top + "/.Trash").c_str(), 01777), 0);
    MakeTrees(top + "/backup");
    tProfile q = Mirror(top + "/backup");
    ASSERT_TRUE(RunProfile(q, true)) << q.LastRunResult;
    ExpectTrashedAndRestorable(top + "/backup", top + "/.Trash/" + uid, top);
    EXPECT_TRUE(Names(own + "/files").empty());

    // Not sticky: not used.
    ASSERT_EQ(chmod((top + "/.Trash").c_str(), 0777), 0);
    MakeTrees(top + "/backup");
    tProfile r = Mirror(top + "/backup");
    ASSERT_TRUE(RunProfile(r, true)) << r.LastRunResult;
    EXPECT_EQ(Names(own + "/files").size(), 4u);
}

TEST_F(VolumeTrash, MirrorOfAWholeDriveLeavesTheDrivesTrashAlone) {
    if (!mounted) GTEST_SKIP() << "no tmpfs could be mounted here (needs root or CAP_SYS_ADMIN)";
    const std::string top = volume.Root();
    for (const char* name : {"a.txt", "b.txt", "old.txt"}) {
        const std::string path = top + "/" + name;
        std::ofstream(path) << name;
        const timespec times[2] = {{kOld, 0}, {kOld, 0}};
        utimensat(AT_FDCWD, path.c_str(), times, 0);
        if (std::string(name) != "old.txt") left.WriteFile(name, name, kOld);
    }
    tProfile p = Mirror(top);
    p.HiddenFiles = p.HiddenFolders = true;
    ASSERT_TRUE(RunProfile(p, true)) << p.LastRunResult;
    const std::string own = top + "/.Trash-" + std::to_string(geteuid());
    EXPECT_EQ(Names(own + "/files"), (std::vector<std::string>{"old.txt"}));
    // The next run neither deletes the trash nor copies it back.
    tProfile q = Mirror(top);
    q.HiddenFiles = q.HiddenFolders = true;
    ASSERT_TRUE(RunProfile(q, true)) << q.LastRunResult;
    EXPECT_EQ(Names(own + "/files"), (std::vector<std::string>{"old.txt"}));
    EXPECT_EQ(Names(own + "/info"), (std::vector<std::string>{"old.txt.trashinfo"}));
    EXPECT_EQ(left.List(), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(Trash, WithoutAUsableTrashFilesAreDeletedAndTheRunSaysSoOnce) {
    // Something that is no folder where the home trash would be: no trash on this file
    // system.
    left.WriteFile("keep.txt", "keep", kOld);
    right.WriteFile("keep.txt", "keep", kOld);
    right.WriteFile("one.txt", "1", kOld);
    right.WriteFile("sub/two.txt", "2", kOld);
    std::filesystem::create_directories(dataHome);
    std::ofstream(dataHome + "/Trash") << "not a folder";
    tProfile p = Mirror(right.Root());
    ASSERT_TRUE(RunProfile(p, true)) << p.LastRunResult;
    EXPECT_EQ(p.LastRunResult, "0 copied, 2 deleted");
    EXPECT_EQ(right.List(), (std::vector<std::string>{"keep.txt", "sub/"}));
    const std::string top = FileSystemTop(right.Root());
    ASSERT_EQ(p.ResultNotes, std::vector<std::string>{NoTrashResultLine(top)});
    EXPECT_EQ(p.ResultList.front(), NoTrashResultLine(top));
    EXPECT_EQ(p.FailedCount, 0) << "a note, not a failure";
    const std::string log = LogText();
    const size_t note = log.find(NoTrashLogLine(top) + "\n");
    ASSERT_NE(note, std::string::npos) << log;
    EXPECT_EQ(log.find("NO TRASH", note + 1), std::string::npos) << "once per run";
    EXPECT_NE(log.find("DELETE " + right.Path("one.txt") + "\n"), std::string::npos) << log;
}

TEST(TrashInfo, PathsAreEncodedAndNamesFitTheFileSystem) {
    EXPECT_EQ(PercentEncodePath("/home/ann/a b%c/\xc3\xa4.txt"),
              "/home/ann/a%20b%25c/%C3%A4.txt");
    EXPECT_EQ(TrashInfoText("x/y", 0).substr(0, 23), "[Trash Info]\nPath=x/y\nD");
    EXPECT_TRUE(IsTrashFolderName(".Trash"));
    EXPECT_TRUE(IsTrashFolderName(".Trash-1000"));
    EXPECT_FALSE(IsTrashFolderName(".Trash-"));
    EXPECT_FALSE(IsTrashFolderName(".Trashes"));

    // A name as long as the file system allows still gets an info file beside it.
    test::TempTree tree;
    const std::string saved = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    setenv("XDG_DATA_HOME", tree.Path("data").c_str(), 1);
    const std::string longName = std::string(250, 'n') + "\xc3\xa4";
    tree.WriteFile(longName, "long");
    tTrash trash;
    tTrashedFile where;
    EXPECT_EQ(trash.MoveToTrash(tree.Path(longName), &where), tTrashResult::Trashed);
    EXPECT_FALSE(tree.Exists(longName));
    EXPECT_EQ(ReadAll(where.FilePath), "long");
    EXPECT_LE(where.InfoPath.size() - where.InfoPath.rfind('/') - 1, 255u);
    EXPECT_NE(ReadAll(where.InfoPath).find("%C3%A4\n"), std::string::npos);
    // Taken back: the file is where it was, nothing is left in the trash.
    EXPECT_TRUE(trash.Undo(tree.Path(longName), where));
    EXPECT_EQ(tree.ReadFile(longName), "long");
    EXPECT_TRUE(Names(tree.Path("data/Trash/info")).empty());
    setenv("XDG_DATA_HOME", saved.c_str(), 1);
}

} // namespace
} // namespace corvane
