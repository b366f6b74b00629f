// The thumbnail worker: one thread per run walks the file list from its
// start, takes each picture's thumbnail from the folder's cache or loads it
// scaled into the thumbnail box, makes a screen bitmap of it and tells the
// main window after each entry (kThumbReadyMessage) and at the end
// (kThumbsDoneMessage).
//
// Hand-over rules (there is no lock on the entries): while a run is going
// the worker writes only the entry it is at and then posts its index; the
// main thread reads an entry's thumbnail and information only after that
// message, and changes the array or the cache only while no worker runs
// (Stop first, Start after).
//
// Portable: no platform headers. Posting, draining, loading and screen
// bitmaps come through ThumbServices.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "imagelib/bitmap.h"
#include "imagelib/loadcontext.h"
#include "shell/filelist.h"

class ThumbCache;

constexpr uint32_t kThumbReadyMessage = 0x401;  // lParam: the entry's index
constexpr uint32_t kThumbsDoneMessage = 0x402;  // every entry visited

// Every slot receives `user`. The worker calls post, load, makeScreenBitmap
// and toLocalTime on its own thread; drain runs on the main thread.
struct ThumbServices {
    // Posts to the main window; wParam is the run's tag (never 0), lParam
    // the entry index for kThumbReadyMessage, 0 for kThumbsDoneMessage.
    void (*post)(void* user, uint32_t message, uintptr_t run, intptr_t index);
    // Removes every queued kThumbReadyMessage and kThumbsDoneMessage from
    // the main thread's queue, leaving other messages in their order.
    void (*drain)(void* user);
    // Loads the picture scaled into the box; a load result code. The load
    // should give up (result 15) once *stop is set.
    int (*load)(void* user, const wchar_t* path, Bitmap* bitmap, ImageInfo* info, int32_t boxWidth,
                int32_t boxHeight, int highQuality, const std::atomic<bool>* stop);
    // A screen bitmap of the picture at its own size, or null.
    void* (*makeScreenBitmap)(void* user, const Bitmap* bitmap);
    // FILETIME (UTC) to local time, as the cache file keys it.
    uint64_t (*toLocalTime)(uint64_t utc);
    void* user;
};

struct ThumbJob {
    int32_t boxWidth;
    int32_t boxHeight;
    int highQuality;
};

class ThumbWorker {
public:
    explicit ThumbWorker(const ThumbServices& services) : services_(services) {}
    ThumbWorker(const ThumbWorker&) = delete;
    ThumbWorker& operator=(const ThumbWorker&) = delete;
    ~ThumbWorker() { Stop(); }

    // Starts a run over `entries` (entries not in state 0 are skipped) with
    // `cache` (null: no cache). Nothing when a worker is there already or
    // the list is empty. True when a run started.
    bool Start(FileList* entries, ThumbCache* cache, const ThumbJob& job);
    // Asks the worker to stop after its current entry, waits for it and
    // drains its queued messages. False when no worker was there.
    bool Stop();
    // On kThumbsDoneMessage: true when it belongs to the present run, whose
    // thread is then waited for (it has ended its loop) and released.
    bool Finish(uintptr_t run);

    bool Running() const { return thread_.joinable(); }
    uintptr_t CurrentRun() const { return run_; }
    // The entry the worker is at (where it stopped, after a stop).
    size_t Index() const { return index_.load(); }

private:
    void Work(FileListEntry* entries, size_t count, ThumbCache* cache, ThumbJob job, uintptr_t run);

    ThumbServices services_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<size_t> index_{0};
    uintptr_t run_ = 0;
};
