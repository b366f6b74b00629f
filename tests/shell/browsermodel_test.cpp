// The thumbnail worker's loop and the browser model: folder changes, the
// worker's messages, the cache in between, and the item-by-item updates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "fakefolders.h"
#include "fakethumbhost.h"
#include "shell/browsermodel.h"
#include "shell/system.h"
#include "tests/support/testfiles.h"

using namespace fake_folders;

namespace {

FileListEntry EntryAt(const std::wstring& path, uint32_t state = kEntryNotExamined) {
    FileListEntry e;
    std::memset(&e, 0, sizeof e);
    std::wcsncpy(e.path, path.c_str(), kListPathCapacity - 1);
    e.state = state;
    e.lastWriteTime = 5;
    return e;
}

void FreeThumbnails(FileList* list, FakeThumbHost* host) {
    for (FileListEntry& e : *list) {
        if (e.thumbnail) FakeThumbHost::DeleteScreenBitmap(host, e.thumbnail);
        e.thumbnail = nullptr;
    }
}

class Worker : public ::testing::Test {
protected:
    void TearDown() override {
        worker.Stop();
        for (FileListEntry& e : list)
            if (e.thumbnail) FakeThumbHost::DeleteScreenBitmap(&host, e.thumbnail);
    }
    FakeThumbHost host;
    ThumbWorker worker{host.Services()};
    FileList list;
    const ThumbJob job{70, 70, 0};
};

TEST_F(Worker, VisitsEachEntryPostsItsIndexAndEndsWithDone) {
    list = {EntryAt(L"a.jpg"), EntryAt(L"show.alb", kEntryAlbum), EntryAt(L"bad.jpg"), EntryAt(L"c.png")};
    host.failing = {L"bad.jpg"};
    ASSERT_TRUE(worker.Start(&list, nullptr, job));
    ASSERT_TRUE(host.WaitForDone());
    const auto messages = host.Take();
    ASSERT_EQ(messages.size(), 4u);
    // The failed load still gets its message (its item is redrawn); the album none.
    EXPECT_EQ(messages[0].index, 0);
    EXPECT_EQ(messages[1].index, 2);
    EXPECT_EQ(messages[2].index, 3);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(messages[i].message, kThumbReadyMessage);
    EXPECT_EQ(messages[3].message, kThumbsDoneMessage);
    for (const ThumbMessage& m : messages) EXPECT_EQ(m.run, worker.CurrentRun());
    EXPECT_TRUE(worker.Finish(worker.CurrentRun()));
    EXPECT_EQ(list[0].state, uint32_t(kEntryExamined));
    EXPECT_NE(list[0].thumbnail, nullptr);
    EXPECT_EQ(list[0].thumbWidth, 12);
    EXPECT_EQ(list[0].thumbHeight, 9);
    EXPECT_EQ(list[0].width, 4000u);
    EXPECT_EQ(list[0].colourWords[1], 3u);
    EXPECT_EQ(list[1].state, uint32_t(kEntryAlbum));
    EXPECT_EQ(list[2].state, uint32_t(kEntryNotExamined));
    EXPECT_EQ(list[2].thumbnail, nullptr);
    EXPECT_EQ(host.loads, 3);
    // The next run tries only the failed one again.
    host.failing.clear();
    ASSERT_TRUE(worker.Start(&list, nullptr, job));
    ASSERT_TRUE(host.WaitForDone());
    EXPECT_EQ(host.Take().size(), 2u);
    EXPECT_EQ(host.loads, 4);
    EXPECT_EQ(list[2].state, uint32_t(kEntryExamined));
}

TEST_F(Worker, EmptyListStartsNothingAndAlbumsOnlyPostDoneAlone) {
    EXPECT_FALSE(worker.Start(&list, nullptr, job));
    EXPECT_FALSE(worker.Running());
    EXPECT_FALSE(worker.Stop());
    EXPECT_TRUE(host.Take().empty());
    list = {EntryAt(L"a.alb", kEntryAlbum), EntryAt(L"b.alb", kEntryAlbum)};
    ASSERT_TRUE(worker.Start(&list, nullptr, job));
    ASSERT_TRUE(host.WaitForDone());
    const auto messages = host.Take();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, kThumbsDoneMessage);
}

TEST_F(Worker, StopDuringALoadWaitsForItAndLeavesNoMessages) {
    list = {EntryAt(L"a.jpg"), EntryAt(L"big.jpg"), EntryAt(L"c.jpg")};
    host.waitForStop = L"big.jpg";
    ASSERT_TRUE(worker.Start(&list, nullptr, job));
    ASSERT_TRUE(host.WaitForLoadStarted());
    // A second start while one runs does nothing.
    const uintptr_t run = worker.CurrentRun();
    EXPECT_FALSE(worker.Start(&list, nullptr, job));
    EXPECT_EQ(worker.CurrentRun(), run);
    EXPECT_TRUE(worker.Stop());
    EXPECT_FALSE(worker.Running());
    EXPECT_TRUE(host.Take().empty());  // entry 0's message was drained
    EXPECT_EQ(worker.Index(), 1u);
    EXPECT_EQ(list[0].state, uint32_t(kEntryExamined));
    EXPECT_EQ(list[1].state, uint32_t(kEntryNotExamined));
    EXPECT_EQ(list[2].state, uint32_t(kEntryNotExamined));
    EXPECT_EQ(host.loads, 2);
}

TEST_F(Worker, DoneOfAnEarlierRunIsNotTheNewRunsEnd) {
    list = {EntryAt(L"a.jpg"), EntryAt(L"big.jpg")};
    ASSERT_TRUE(worker.Start(&list, nullptr, job));
    ASSERT_TRUE(host.WaitForDone());
    const uintptr_t first = worker.CurrentRun();
    host.Take();  // as if the done message still waited in the queue
    list[1].state = kEntryNotExamined;
    worker.Stop();
    FreeThumbnails(&list, &host);
    list[0].state = kEntryNotExamined;
    host.waitForStop = L"big.jpg";
    ASSERT_TRUE(worker.Start(&list, nullptr, job));
    ASSERT_TRUE(host.WaitForLoadStarted());
    EXPECT_FALSE(worker.Finish(first));
    EXPECT_TRUE(worker.Running());
    EXPECT_TRUE(worker.Stop());
}

TEST_F(Worker, CacheHitsAreNotStoredAgain) {
    testing_support::ScratchDir dir;
    const std::wstring folder = dir.path().wstring() + Separator();
    ThumbCache cache;
    ASSERT_TRUE(cache.Open(folder, 70, 70));
    list = {EntryAt(folder + L"a.jpg"), EntryAt(folder + L"bb.jpg")};
    ASSERT_TRUE(worker.Start(&list, &cache, job));
    ASSERT_TRUE(host.WaitForDone());
    worker.Finish(worker.CurrentRun());
    host.Take();
    EXPECT_EQ(host.loads, 2);
    ASSERT_EQ(cache.Records().size(), 2u);
    // The stored time is the local one.
    EXPECT_EQ(cache.Records()[0].localTime, 5u + 36000000000ull);
    FreeThumbnails(&list, &host);
    for (FileListEntry& e : list) e.state = kEntryNotExamined;
    ASSERT_TRUE(worker.Start(&list, &cache, job));
    ASSERT_TRUE(host.WaitForDone());
    worker.Finish(worker.CurrentRun());
    EXPECT_EQ(host.loads, 2);
    EXPECT_EQ(cache.Records().size(), 2u);
    EXPECT_EQ(list[1].state, uint32_t(kEntryExamined));
    EXPECT_EQ(list[1].formatIndex, 6);  // from the cache record
    EXPECT_EQ(list[1].thumbWidth, 12);
}

// What the model told the view, in order.
struct RecordingView : BrowserView {
    std::vector<std::string> events;
    std::vector<std::wstring> watched;
    void ListReplaced(const FileList& entries) override { events.push_back("list " + std::to_string(entries.size())); }
    void ItemAppended(const FileList&, size_t index) override { events.push_back("append " + std::to_string(index)); }
    void ItemRemoved(size_t index, long select) override {
        events.push_back("remove " + std::to_string(index) + " select " + std::to_string(select));
    }
    void ItemChanged(size_t index) override { events.push_back("change " + std::to_string(index)); }
    void ShowEntry(size_t index) override { events.push_back("show " + std::to_string(index)); }
    void WatchFolder(const std::wstring& folder, bool) override { watched.push_back(folder); }
    void Busy(bool busy) override { events.push_back(busy ? "busy" : "idle"); }
    void ThumbnailBitmapFailed() override {
        events.push_back(std::this_thread::get_id() == mainThread ? "no bitmap" : "no bitmap off the main thread");
    }
    std::thread::id mainThread = std::this_thread::get_id();
};

class Model : public ::testing::Test {
protected:
    void SetUp() override {
        Tree().clear();
        Add(L"/d/", File(L"b.jpg", 2));
        Add(L"/d/", File(L"a.jpg", 1));
        Add(L"/d/", File(L"c.jpg", 3));
        Add(L"/d/", Folder(L"sub"));
        Add(L"/d/sub/", File(L"s.jpg"));
        settings.useCache = 0;
    }
    void TearDown() override { Tree().clear(); }

    // Browses /d/ and lets the worker finish.
    void Browse() {
        model.SetSettings(settings);
        model.BrowseFolder(P(L"/d/"));
        Settle();
    }
    void Settle() {
        if (!model.WorkerRunning()) return;
        ASSERT_TRUE(host.WaitForDone());
        host.Dispatch(&model);
        view.events.clear();
    }

    FakeThumbHost host;
    RecordingView view;
    BrowserSettings settings;
    BrowserModel model{BrowserServices{List, Lookup, FakeThumbHost::DeleteScreenBitmap, host.Services()}, &view};
};

TEST_F(Model, BrowseListsSortedPicturesAndTheWorkerFillsThem) {
    model.SetSettings(settings);
    model.BrowseFolder(P(L"/d/"));
    EXPECT_EQ(Paths(model.Entries()), (std::vector<std::wstring>{L"/d/a.jpg", L"/d/b.jpg", L"/d/c.jpg"}));
    // The folder is read with the pointer busy.
    EXPECT_EQ(view.events, (std::vector<std::string>{"busy", "list 3", "idle"}));
    view.events.clear();
    EXPECT_EQ(view.watched, std::vector<std::wstring>{P(L"/d/")});
    EXPECT_EQ(model.CurrentFolder(), P(L"/d/"));
    ASSERT_TRUE(host.WaitForDone());
    host.Dispatch(&model);
    EXPECT_FALSE(model.WorkerRunning());
    EXPECT_EQ(view.events, (std::vector<std::string>{"change 0", "change 1", "change 2"}));
    for (const FileListEntry& e : model.Entries()) EXPECT_EQ(e.state, uint32_t(kEntryExamined));
    EXPECT_EQ(host.liveBitmaps, 3);
    // A new folder frees every thumbnail of the old list.
    Tree()[P(L"/e/")] = {};
    model.BrowseFolder(P(L"/e/"));
    EXPECT_TRUE(model.Entries().empty());
    EXPECT_EQ(host.liveBitmaps, 0);
}

// Pictures read whose screen bitmaps cannot be made: said once per list
// shown, on the main thread, and the entries keep their texts only.
TEST_F(Model, AFailedScreenBitmapIsToldOncePerListOnTheMainThread) {
    host.refuseBitmaps = true;
    model.SetSettings(settings);
    model.BrowseFolder(P(L"/d/"));
    view.events.clear();
    ASSERT_TRUE(host.WaitForDone());
    host.Dispatch(&model);
    EXPECT_EQ(view.events, (std::vector<std::string>{"change 0", "no bitmap", "change 1", "change 2"}));
    for (const FileListEntry& e : model.Entries()) {
        EXPECT_EQ(e.state, uint32_t(kEntryExamined));
        EXPECT_EQ(e.thumbnail, nullptr);
        EXPECT_EQ(e.width, 4000u);
    }
    // The same list again (a tool ran): nothing new is said.
    view.events.clear();
    model.StopWorker();
    model.StartWorker();
    Settle();
    EXPECT_EQ(view.events, std::vector<std::string>{});
    // The folder shown anew: said once more.
    model.BrowseFolder(P(L"/d/"));
    view.events.clear();
    ASSERT_TRUE(host.WaitForDone());
    host.Dispatch(&model);
    EXPECT_EQ(std::count(view.events.begin(), view.events.end(), "no bitmap"), 1);
    EXPECT_EQ(host.liveBitmaps, 0);
}

TEST_F(Model, ResolutionSortRunsAgainWhenTheWorkerIsDone) {
    settings.sort = kSortResolution;
    host.failing = {L"a.jpg"};
    Browse();
    // Examined pictures first once their sizes are known.
    EXPECT_EQ(Paths(model.Entries()), (std::vector<std::wstring>{L"/d/b.jpg", L"/d/c.jpg", L"/d/a.jpg"}));
}

TEST_F(Model, CreationsAddListedPicturesOnceAndNothingElse) {
    Browse();
    Add(L"/d/", File(L"new.jpg", 9));
    Add(L"/d/", File(L"cache.zt"));
    Add(L"/d/", File(L"cache.zt1"));
    Add(L"/d/", File(L"new.jpg.~sv1A"));
    Add(L"/d/", Folder(L"folder.jpg"));
    for (const wchar_t* name : {L"cache.zt", L"cache.zt1", L"new.jpg.~sv1A", L"folder.jpg", L"ghost.jpg"})
        model.OnFileCreated(P(L"/d/") + name);
    EXPECT_EQ(model.Entries().size(), 3u);
    model.OnFileCreated(P(L"/d/new.jpg"));
    Settle();
    ASSERT_EQ(model.Entries().size(), 4u);
    EXPECT_EQ(Paths(model.Entries())[3], L"/d/new.jpg");  // AddToBottom: stays at the end
    EXPECT_EQ(model.Entries()[3].state, uint32_t(kEntryExamined));
    // A save over a listed picture (a rename onto its name) re-reads it.
    Tree()[P(L"/d/")][0].size = 77;  // b.jpg
    model.OnFileCreated(P(L"/d/B.JPG"));
    Settle();
    EXPECT_EQ(model.Entries().size(), 4u);
    EXPECT_EQ(model.Entries()[1].size, 77u);
    EXPECT_EQ(model.Entries()[1].state, uint32_t(kEntryExamined));
    EXPECT_EQ(host.loads, 5);  // made again
    EXPECT_EQ(host.liveBitmaps, 4);
    // The update itself: the worker stopped, the entry waits for the next run.
    EXPECT_TRUE(model.BrowserUpdateFile(P(L"/d/"), L"b.jpg"));
    EXPECT_FALSE(model.WorkerRunning());
    EXPECT_EQ(model.Entries()[1].state, uint32_t(kEntryNotExamined));
    EXPECT_EQ(model.Entries()[1].thumbnail, nullptr);
    model.StartWorker();
    Settle();
    EXPECT_EQ(model.Entries()[1].state, uint32_t(kEntryExamined));
}

TEST_F(Model, SubfolderCreationsOnlyWhenRecursive) {
    Browse();
    Add(L"/d/sub/", File(L"t.jpg"));
    model.OnFileCreated(P(L"/d/sub/t.jpg"));
    EXPECT_EQ(model.Entries().size(), 3u);
    settings.recursive = 1;
    Browse();
    ASSERT_EQ(model.Entries().size(), 5u);
    Add(L"/d/sub/", File(L"u.jpg"));
    model.OnFileCreated(P(L"/d/sub/u.jpg"));
    Settle();
    ASSERT_EQ(model.Entries().size(), 6u);
    EXPECT_EQ(Paths(model.Entries())[5], L"/d/sub/u.jpg");
    // Another folder is never the list's, whatever its case.
    Tree()[P(L"/x/")] = {File(L"v.jpg")};
    model.OnFileCreated(P(L"/x/v.jpg"));
    EXPECT_EQ(model.Entries().size(), 6u);
}

TEST_F(Model, AddToBottomClearSortsTheNewFileIn) {
    settings.addToBottom = 0;
    Browse();
    Add(L"/d/", File(L"ab.jpg"));
    model.OnFileCreated(P(L"/d/ab.jpg"));
    EXPECT_EQ(Paths(model.Entries()), (std::vector<std::wstring>{L"/d/a.jpg", L"/d/ab.jpg", L"/d/b.jpg", L"/d/c.jpg"}));
    Settle();
}

// A rename keeps the entry where it was, with its picture; the folder
// watch's later deletion of the old name and creation of the new one change
// nothing more.
TEST_F(Model, RenamedEntryKeepsItsPlace) {
    Browse();
    const void* thumbnail = model.Entries()[1].thumbnail;
    ASSERT_NE(thumbnail, nullptr);
    Remove(L"/d/", L"b.jpg");
    Add(L"/d/", File(L"z.jpg", 2));
    EXPECT_TRUE(model.RenameEntry(P(L"/d/b.jpg"), P(L"/d/z.jpg")));
    EXPECT_EQ(Paths(model.Entries()), (std::vector<std::wstring>{L"/d/a.jpg", L"/d/z.jpg", L"/d/c.jpg"}));
    EXPECT_EQ(model.Entries()[1].thumbnail, thumbnail);
    EXPECT_EQ(view.events.front(), "change 1");
    Settle();
    model.OnFileDeleted(P(L"/d/b.jpg"));
    model.OnFileCreated(P(L"/d/z.jpg"));
    Settle();
    EXPECT_EQ(Paths(model.Entries()), (std::vector<std::wstring>{L"/d/a.jpg", L"/d/z.jpg", L"/d/c.jpg"}));
    EXPECT_FALSE(model.RenameEntry(P(L"/d/b.jpg"), P(L"/d/y.jpg"))) << "no longer listed";
    EXPECT_FALSE(model.RenameEntry(P(L"/d/a.jpg"), P(L"/d/") + std::wstring(300, L'x'))) << "too long";
    EXPECT_EQ(Paths(model.Entries())[0], L"/d/a.jpg");
}

TEST_F(Model, DeletionsMoveTheCurrentIndexAndTheSelection) {
    struct Case {
        const wchar_t* deleted;
        long currentBefore;
        long currentAfter;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {L"a.jpg", 2, 1, {"remove 0 select 0"}},               // an earlier entry goes
        {L"c.jpg", 0, 0, {"remove 2 select 1"}},               // the last: the new last is selected
        {L"b.jpg", 1, 1, {"remove 1 select 1", "show 1"}},     // the shown one: its successor is shown
        {L"c.jpg", 2, 1, {"remove 2 select 1", "show 1"}},
        {L"zz.jpg", 1, 1, {}},                                 // not listed
    };
    for (const Case& c : cases) {
        SetUp();
        Browse();
        model.SetCurrentIndex(c.currentBefore);
        model.OnFileDeleted(P(L"/d/") + c.deleted);
        EXPECT_EQ(model.CurrentIndex(), c.currentAfter) << c.deleted;
        std::vector<std::string> events;
        for (const std::string& e : view.events)
            if (e.rfind("change", 0) != 0) events.push_back(e);
        EXPECT_EQ(events, c.events) << c.deleted;
        Settle();
    }
    EXPECT_EQ(host.liveBitmaps, 3);  // the last case deleted nothing
}

TEST_F(Model, DeletingTheOnlyFileLeavesNoSelection) {
    Tree()[P(L"/one/")] = {File(L"only.jpg")};
    model.SetSettings(settings);
    model.BrowseFolder(P(L"/one/"));
    Settle();
    model.SetCurrentIndex(0);
    model.OnFileDeleted(P(L"/one/only.jpg"));
    EXPECT_TRUE(model.Entries().empty());
    EXPECT_EQ(model.CurrentIndex(), -1);
    EXPECT_EQ(view.events, std::vector<std::string>{"remove 0 select -1"});
    EXPECT_FALSE(model.WorkerRunning());
}

TEST_F(Model, ChangesWhileTheWorkerRunsStopItFirst) {
    host.waitForStop = L"b.jpg";
    model.SetSettings(settings);
    model.BrowseFolder(P(L"/d/"));
    ASSERT_TRUE(host.WaitForLoadStarted());
    Add(L"/d/", File(L"d.jpg"));
    model.OnFileCreated(P(L"/d/d.jpg"));  // stops the waiting load, then starts anew
    ASSERT_EQ(model.Entries().size(), 4u);
    model.StopWorker();
    host.waitForStop.clear();
    host.Take();
    model.StartWorker();
    Settle();
    for (const FileListEntry& e : model.Entries()) EXPECT_EQ(e.state, uint32_t(kEntryExamined)) << e.path;
}

TEST_F(Model, ReceivedFilesAndUpdatesOfListedFiles) {
    Browse();
    Add(L"/d/", File(L"beam.jpg"));
    model.BrowserAddReceivedFile(P(L"/d/"), L"beam.jpg");
    model.BrowserAddReceivedFile(P(L"/D/"), L"BEAM.JPG");  // the same file again: updated
    Settle();
    EXPECT_EQ(model.Entries().size(), 4u);
    EXPECT_FALSE(model.BrowserUpdateFile(P(L"/d/"), L"ghost.jpg"));
    Remove(L"/d/", L"a.jpg");
    EXPECT_FALSE(model.BrowserUpdateFile(P(L"/d/"), L"a.jpg"));  // gone
    EXPECT_EQ(model.Entries()[0].state, uint32_t(kEntryExamined));
    model.StartWorker();
    Settle();
}

TEST_F(Model, SearchResultsReplaceTheListWithoutChangingTheFolder) {
    Browse();
    FileList found;
    FileSearch(List, P(L"/d/"), L"*.jpg", SearchFilter{L"", 0}, true, &found, nullptr, nullptr);
    model.SetFileList(std::move(found));
    EXPECT_EQ(model.Entries().size(), 4u);
    EXPECT_EQ(model.CurrentFolder(), P(L"/d/"));
    EXPECT_EQ(model.CurrentIndex(), -1);
    Settle();
    EXPECT_EQ(host.liveBitmaps, 4);
    const auto files = model.SelectedFiles({3, 0, 9}, false);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].index, 3u);
    EXPECT_EQ(std::wstring(files[1].path), P(L"/d/a.jpg"));
}

// Cut in one folder, pasted in another: the clipboard outlives the list it
// was taken from, and a search or a sort leaves it too.
TEST_F(Model, ClipboardStaysAcrossFolderChangesUntilTheNextCutOrCopy) {
    Browse();
    EXPECT_TRUE(model.ClipboardFiles().empty());
    model.SetClipboard(model.SelectedFiles({0, 2}, false), true);
    Tree()[P(L"/e/")] = {};
    model.BrowseFolder(P(L"/e/"));
    model.SetFileList(FileList{});
    model.Resort();
    ASSERT_EQ(model.ClipboardFiles().size(), 2u);
    EXPECT_EQ(std::wstring(model.ClipboardFiles()[0].path), P(L"/d/a.jpg"));
    EXPECT_EQ(std::wstring(model.ClipboardFiles()[1].path), P(L"/d/c.jpg"));
    EXPECT_TRUE(model.ClipboardMoves());
    model.SetClipboard({}, false);
    EXPECT_TRUE(model.ClipboardFiles().empty());
    EXPECT_FALSE(model.ClipboardMoves());
}

// The whole road on real files: the system's listing, the worker with the
// cache, compaction when it is done, and a second visit served by the cache.
TEST(ModelOnDisk, SecondVisitComesFromTheCache) {
    testing_support::ScratchDir dir;
    const std::wstring folder = dir.path().wstring() + Separator();
    for (const char* name : {"one.jpg", "two.png", "notes.txt"}) testing_support::WriteText(dir.File(name), "x");
    FakeThumbHost host;
    BrowserSettings settings;
    BrowserModel model{BrowserServices{SystemListFolder, SystemLookupFile, FakeThumbHost::DeleteScreenBitmap,
                                       host.Services()},
                       nullptr};
    model.SetSettings(settings);
    model.BrowseFolder(folder);
    ASSERT_EQ(model.Entries().size(), 2u);
    ASSERT_TRUE(host.WaitForDone());
    host.Dispatch(&model);
    EXPECT_EQ(host.loads, 2);
    EXPECT_FALSE(model.Cache().IsOpen());  // closed (and compacted) when done
    model.BrowseFolder(folder);
    ASSERT_TRUE(host.WaitForDone());
    host.Dispatch(&model);
    EXPECT_EQ(host.loads, 2);
    EXPECT_EQ(model.Entries()[1].state, uint32_t(kEntryExamined));
    EXPECT_EQ(model.Entries()[1].width, 4000u);
}

}  // namespace
