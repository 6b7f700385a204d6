#include "app/ProfileCommands.h"

#include "profiles/DateTime.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "profiles/ProfileFields.h"
#include "profiles/ProfileStore.h"
#include "profiles/RunLock.h"
#include "scheduler/NextRun.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace corvane {

namespace {

enum : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

void Err(const std::string& text) { std::fprintf(stderr, "corvane: %s\n", text.c_str()); }

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// The store as the window opens it. The commands change it only through the merging flush,
// so what a window or a scheduler stored meanwhile is kept.
struct tStoreSession {
    tPreferences Store{PreferencesFileName()};
    tStoreSession() { Store.Load(); }
};

// The store loaded after the run locks of the profiles a command changes were taken: a run
// that ended before stored its results, which the command then starts from, and none can
// start (and later store its own copy of the profile) until the command is done.
struct tLockedSession {
    std::string FileName = PreferencesFileName();
    std::vector<std::unique_ptr<tProfileRunLock>> Locks;
    tPreferences Store{FileName};

    // false (after saying so) while a run holds the lock of one of names.
    bool Lock(std::initializer_list<std::string> names) {
        for (const auto& name : names) {
            Locks.push_back(std::make_unique<tProfileRunLock>(name, FileName));
            if (Locks.back()->Busy()) {
                Err("profile " + Quoted(name) + " is being run; try again when the run has ended");
                return false;
            }
        }
        Store.Load();
        return true;
    }
};

// Flushes and says what went wrong; false then.
bool FlushOrComplain(tPreferences& store) {
    std::string error = store.Flush();
    if (!error.empty()) Err(error);
    return error.empty();
}

// "Next Run:" as the edit page has it when the profile is stored: ticking it (scheduled)
// moves a next run that has passed forward by whole intervals; Auto-Update moves a passed
// one on; a profile whose next run has passed is stored as not scheduled.
void ApplyScheduleRules(tProfile& p, bool ticked, tDateTime now) {
    if (ticked && p.Scheduled)
        p.NextRun = TickedNextRun(p.NextRun, RepeatInterval(p.Days, p.Hours, p.Minutes), now);
    if (p.AutoUpdate && p.Scheduled && now + kNextRunMargin > p.NextRun)
        AdvanceNextRun(p, p.NextRun, now, nullptr);
    p.Scheduled = p.Scheduled && now < p.NextRun;
}

} // namespace

int ShowProfileCommand(const std::string& name) {
    tStoreSession session;
    auto p = LoadStoredProfile(session.Store, name);
    if (!p) {
        Err("no stored profile named " + Quoted(name) + " (see --list)");
        return kExitUsage;
    }
    std::string out;
    for (const auto& line : ProfileFieldLines(*p)) out += line + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return kExitOk;
}

int SetProfileCommand(const std::string& name, const std::vector<std::string>& assignments) {
    if (std::string problem = ValidateProfileName(name); !problem.empty()) {
        Err(problem);
        return kExitUsage;
    }
    tLockedSession session;
    if (!session.Lock({name})) return kExitFailed;
    std::optional<tProfile> stored = LoadStoredProfile(session.Store, name);
    if (!stored && HasStoredEntries(session.Store, name)) {
        Err("the stored record of " + Quoted(name) +
            " cannot be read; remove it with --delete first");
        return kExitUsage;
    }
    const tDateTime now = NowDateTime();
    tProfile p;
    if (stored) {
        p = std::move(*stored);
    } else {
        // A first start's edit page, its next run at the current minute.
        SetInitialValues(p);
        p.Name = name;
        p.NextRun = std::floor(now * 1440.0) / 1440.0;
    }

    bool ok = true, ticked = false;
    for (const auto& a : assignments) {
        const size_t eq = a.find('=');
        if (eq == std::string::npos || eq == 0) {
            Err("\"" + a + "\" is not Field=value");
            ok = false;
            continue;
        }
        const std::string field = a.substr(0, eq);
        if (std::string problem = SetProfileField(p, field, a.substr(eq + 1)); !problem.empty()) {
            Err(problem);
            ok = false;
        } else if (field == "Scheduled") {
            ticked = p.Scheduled;
        }
    }
    if (!ok) return kExitUsage;
    if (std::string problem = StorableProblem(p); !problem.empty()) {
        Err(problem);
        return kExitUsage;
    }
    const tDateTime before = p.NextRun;
    ApplyScheduleRules(p, ticked, now);

    if (std::string problem = StoreProfile(session.Store, p); !problem.empty()) {
        Err(problem);
        return kExitUsage;
    }
    if (!FlushOrComplain(session.Store)) return kExitFailed;
    if (p.NextRun != before)
        std::printf("Next run moved forward to %s (the one given has passed)\n",
                    DateTimeText(p.NextRun).c_str());
    return kExitOk;
}

int RenameProfileCommand(const std::string& oldName, const std::string& newName) {
    if (std::string problem = ValidateProfileName(newName); !problem.empty()) {
        Err(problem);
        return kExitUsage;
    }
    if (newName == oldName) {
        Err("the new name is the old one");
        return kExitUsage;
    }
    tLockedSession session;
    if (!session.Lock({oldName, newName})) return kExitFailed;
    tPreferences& store = session.Store;
    if (!HasStoredEntries(store, oldName)) {
        Err("no stored profile named " + Quoted(oldName) + " (see --list)");
        return kExitUsage;
    }
    if (HasStoredEntries(store, newName)) {
        Err("a profile named " + Quoted(newName) + " exists already");
        return kExitUsage;
    }
    // Every entry moves as it is stored, so nothing is decoded and written back changed.
    for (const auto& e : ProfileEntries()) {
        const std::string oldKey = std::string(e.Prefix) + oldName;
        if (!store.Has(oldKey, e.Section)) continue;
        store.Write(std::string(e.Prefix) + newName, store.Read(oldKey, e.Section), e.Section);
        store.Delete(oldKey, e.Section);
    }
    if (store.Read("CurrentProfileName", "Main") == oldName)
        store.Write("CurrentProfileName", newName, "Main");
    return FlushOrComplain(store) ? kExitOk : kExitFailed;
}

int DeleteProfileCommand(const std::string& name, bool confirmed) {
    if (!HasStoredEntries(tStoreSession().Store, name)) {
        Err("no stored profile named " + Quoted(name) + " (see --list)");
        return kExitUsage;
    }
    // The question comes before the lock, so that no run is refused while it waits.
    if (!confirmed) {
        if (!isatty(STDIN_FILENO)) {
            Err("not deleted: standard input is not a terminal; confirm with --yes");
            return kExitUsage;
        }
        std::fprintf(stderr, "Delete profile %s ? [y/N] ", Quoted(name).c_str());
        std::fflush(stderr);
        std::string answer;
        std::getline(std::cin, answer);
        if (answer != "y" && answer != "Y" && answer != "yes" && answer != "Yes") {
            Err("not deleted");
            return kExitUsage;
        }
    }
    tLockedSession session;
    if (!session.Lock({name})) return kExitFailed;
    RemoveStoredProfile(session.Store, name);
    return FlushOrComplain(session.Store) ? kExitOk : kExitFailed;
}

} // namespace corvane
