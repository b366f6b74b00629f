#include "shell/thumbworker.h"

#include <cstring>
#include <system_error>

#include "imagelib/load.h"
#include "shell/thumbcache.h"

bool ThumbWorker::Start(FileList* entries, ThumbCache* cache, const ThumbJob& job) {
    if (Running()) return false;
    index_ = 0;
    if (entries->empty()) return false;
    stop_ = false;
    if (++run_ == 0) ++run_;
    try {
        thread_ = std::thread(&ThumbWorker::Work, this, entries->data(), entries->size(), cache, job, run_);
    } catch (const std::system_error&) {
        return false;  // no worker: the list shows without thumbnails
    }
    return true;
}

bool ThumbWorker::Stop() {
    if (!Running()) return false;
    stop_ = true;
    thread_.join();
    services_.drain(services_.user);
    return true;
}

bool ThumbWorker::Finish(uintptr_t run) {
    if (!Running() || run != run_) return false;
    thread_.join();
    return true;
}

void ThumbWorker::Work(FileListEntry* entries, size_t count, ThumbCache* cache, ThumbJob job, uintptr_t run) {
    for (size_t i = 0; i < count; index_ = ++i) {
        FileListEntry& entry = entries[i];
        if (entry.state != kEntryNotExamined) continue;
        const uint64_t localTime = services_.toLocalTime(entry.lastWriteTime);
        Bitmap bitmap;
        ImageInfo info;
        std::memset(&bitmap, 0, sizeof bitmap);
        std::memset(&info, 0, sizeof info);
        const bool cached = cache && cache->Lookup(entry.path, localTime, &bitmap, &info);
        const bool loaded = cached || services_.load(services_.user, entry.path, &bitmap, &info, job.boxWidth,
                                                     job.boxHeight, job.highQuality, &stop_) == kLoadOk;
        if (loaded) {
            // A screen bitmap that cannot be made leaves the entry examined
            // without a picture; the list shows its texts.
            entry.thumbnail = services_.makeScreenBitmap(services_.user, &bitmap);
            entry.thumbWidth = entry.thumbnail ? bitmap.width : 0;
            entry.thumbHeight = entry.thumbnail ? bitmap.height : 0;
            entry.formatIndex = info.formatIndex;
            entry.width = uint32_t(info.width);
            entry.height = uint32_t(info.height);
            ColourWordsOf(info, entry.colourWords);
            entry.state = kEntryExamined;
            if (cache && !cached) cache->Store(entry.path, localTime, bitmap, info);
        }
        FreeBitmap(&bitmap);
        FreePictureInfo(&info);
        if (stop_) return;
        services_.post(services_.user, kThumbReadyMessage, run, intptr_t(i));
    }
    services_.post(services_.user, kThumbsDoneMessage, run, 0);
}
