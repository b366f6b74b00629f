// A stand-in for the main window and the picture loader of the thumbnail
// worker: a locked message queue, loads that make small pictures (or fail,
// or wait for a stop), and screen bitmaps as counted heap tokens.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <string>

#include "imagelib/bitmap.h"
#include "shell/browsermodel.h"
#include "shell/thumbworker.h"

struct ThumbMessage {
    uint32_t message;
    uintptr_t run;
    intptr_t index;
};

class FakeThumbHost {
public:
    // Names (after the last separator) whose load fails.
    std::set<std::wstring> failing;
    // A name whose load waits until the worker is asked to stop.
    std::wstring waitForStop;
    std::atomic<int> loads{0};
    std::atomic<int> liveBitmaps{0};
    // Every screen bitmap fails (as when the display has no memory left).
    std::atomic<bool> refuseBitmaps{false};

    ThumbServices Services() {
        ThumbServices s;
        s.post = [](void* user, uint32_t message, uintptr_t run, intptr_t index) {
            auto* host = static_cast<FakeThumbHost*>(user);
            std::lock_guard<std::mutex> hold(host->lock_);
            host->queue_.push_back(ThumbMessage{message, run, index});
            host->changed_.notify_all();
        };
        s.drain = [](void* user) {
            auto* host = static_cast<FakeThumbHost*>(user);
            std::lock_guard<std::mutex> hold(host->lock_);
            std::deque<ThumbMessage> kept;
            for (const ThumbMessage& m : host->queue_)
                if (m.message != kThumbReadyMessage && m.message != kThumbsDoneMessage) kept.push_back(m);
            host->queue_.swap(kept);
        };
        s.load = [](void* user, const wchar_t* path, Bitmap* bitmap, ImageInfo* info, int32_t boxWidth,
                    int32_t boxHeight, int, const std::atomic<bool>* stop) {
            return static_cast<FakeThumbHost*>(user)->Load(path, bitmap, info, boxWidth, boxHeight, stop);
        };
        s.makeScreenBitmap = [](void* user, const Bitmap*) -> void* {
            if (static_cast<FakeThumbHost*>(user)->refuseBitmaps) return nullptr;
            ++static_cast<FakeThumbHost*>(user)->liveBitmaps;
            return new int(1);
        };
        s.toLocalTime = [](uint64_t utc) -> uint64_t { return utc + 36000000000ull; };
        s.user = this;
        return s;
    }

    static void DeleteScreenBitmap(void* user, void* bitmap) {
        --static_cast<FakeThumbHost*>(user)->liveBitmaps;
        delete static_cast<int*>(bitmap);
    }

    // Waits (bounded, against a hang) until a kThumbsDoneMessage is queued.
    bool WaitForDone() {
        std::unique_lock<std::mutex> hold(lock_);
        return changed_.wait_for(hold, std::chrono::seconds(30), [this] {
            for (const ThumbMessage& m : queue_)
                if (m.message == kThumbsDoneMessage) return true;
            return false;
        });
    }
    // Waits until the waiting load has begun.
    bool WaitForLoadStarted() {
        std::unique_lock<std::mutex> hold(lock_);
        return changed_.wait_for(hold, std::chrono::seconds(30), [this] { return waiting_; });
    }

    std::deque<ThumbMessage> Take() {
        std::lock_guard<std::mutex> hold(lock_);
        std::deque<ThumbMessage> taken;
        taken.swap(queue_);
        return taken;
    }

    // Hands the queued messages to the model, as the window procedure would.
    void Dispatch(BrowserModel* model) {
        for (const ThumbMessage& m : Take()) {
            if (m.message == kThumbReadyMessage) model->OnThumbReady(m.run, m.index);
            if (m.message == kThumbsDoneMessage) model->OnThumbnailsDone(m.run);
        }
    }

private:
    int Load(const wchar_t* path, Bitmap* bitmap, ImageInfo* info, int32_t boxWidth, int32_t boxHeight,
             const std::atomic<bool>* stop) {
        ++loads;
        std::wstring name = path;
        const size_t cut = name.find_last_of(L"/\\");
        if (cut != std::wstring::npos) name.erase(0, cut + 1);
        if (name == waitForStop) {
            {
                std::lock_guard<std::mutex> hold(lock_);
                waiting_ = true;
                changed_.notify_all();
            }
            while (!*stop) std::this_thread::yield();
            return kLoadCancelled;
        }
        if (failing.count(name)) return kLoadCannotOpen;
        const int32_t w = boxWidth < 12 ? boxWidth : 12, h = boxHeight < 9 ? boxHeight : 9;
        if (!AllocBitmap(bitmap, kPixelRGB, 4, w, h)) return kLoadNoMemory;
        for (size_t i = 0; i < size_t(bitmap->bytesPerRow) * size_t(h); ++i) bitmap->pixels[i] = uint8_t(i + name.size());
        info->formatIndex = int16_t(name.size());
        info->width = 4000;
        info->height = 3000;
        info->bitsPerSample = 8;
        info->components = 3;
        return kLoadOk;
    }

    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<ThumbMessage> queue_;
    bool waiting_ = false;
};
