// The drawing thread: only the newest request is delivered, and the picture it keeps for reuse
// is never one that is still held (the window may be showing it), while a reused picture draws
// exactly what a fresh one does.
#include "tests/views/scanbuilder.h"
#include "treemap/renderer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <string>
#include <vector>

using namespace qz;
using qz::test::ScanBuilder;

namespace {

std::string Pixels(const TTreemapBitmap& b) {
    std::string s;
    for (int y = 0; y < b.Height(); ++y)
        s.append(reinterpret_cast<const char*>(b.Row(y)), size_t(b.Width()) * 3);
    return s;
}

struct Drawings {
    ScanBuilder b{u"/data"};
    PMFT_RECORD big = nullptr;
    TTreemapSettings settings;
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<TTreemapRenderer::TDone> done;
    TTreemapRenderer renderer{[this](TTreemapRenderer::TDone d) {
        std::lock_guard<std::mutex> g(lock);
        done.push_back(std::move(d));
        arrived.notify_all();
    }};

    Drawings() {
        std::mt19937_64 rng(3);
        big = b.Folder(b.root, u"big");
        for (int f = 0; f < 30; ++f) {
            PMFT_RECORD folder = b.Folder(f % 3 ? b.root : big, u"d" + std::u16string(1, u'a' + f));
            for (int i = 0; i < 60; ++i)
                b.File(folder, u"f" + std::u16string(1, u'a' + i % 26) + u".bin",
                       1000 + rng() % 500000);
        }
        b.Finish();
        settings.Scans = {b.scan.get()};
        settings.DiskSizes = {TDiskSizeInfo{}};
        settings.ShowFileNames = false; // no fonts needed
    }
    TTreemapRenderer::TJob Job(int w, int h, PMFT_RECORD zoom = nullptr) {
        TTreemapRenderer::TJob j;
        j.Settings = settings;
        j.Request.Width = w;
        j.Request.Height = h;
        j.Request.Zoom.Rec = zoom;
        j.Colors = std::make_shared<const TExtColors>();
        return j;
    }
    // Waits for the delivery of request id; nil when it did not come.
    std::shared_ptr<const TTreemapPicture> Await(uint64_t id) {
        std::unique_lock<std::mutex> g(lock);
        const bool came = arrived.wait_for(g, std::chrono::seconds(30), [&] {
            for (auto& d : done)
                if (d.Id == id) return true;
            return false;
        });
        if (!came) return nullptr;
        for (auto& d : done)
            if (d.Id == id) return d.Picture;
        return nullptr;
    }
    void Forget() {
        std::lock_guard<std::mutex> g(lock);
        done.clear();
    }
};

} // namespace

TEST(TreemapRenderer, HeldPicturesAreNeverReusedAndAReusedOneDrawsAsAFreshOne) {
    Drawings d;
    auto first = d.Await(d.renderer.Request(d.Job(400, 300)));
    ASSERT_TRUE(first);
    const std::string firstPixels = Pixels(first->Image);
    const TTreemapPicture* firstAddress = first.get();

    // Still held: the next drawing gets other storage and leaves the first picture alone.
    d.Forget();
    auto second = d.Await(d.renderer.Request(d.Job(400, 300)));
    ASSERT_TRUE(second);
    EXPECT_NE(second.get(), firstAddress);
    EXPECT_EQ(Pixels(first->Image), firstPixels);
    EXPECT_EQ(Pixels(second->Image), firstPixels); // the same request draws the same

    // Let go: its storage serves the next drawing (a zoom, so every pixel and item changes),
    // which matches a drawing into a fresh picture; the held second picture stays as it was.
    first.reset();
    d.Forget();
    auto zoomed = d.Await(d.renderer.Request(d.Job(400, 300, d.big)));
    ASSERT_TRUE(zoomed);
    EXPECT_EQ(zoomed.get(), firstAddress);
    EXPECT_EQ(Pixels(second->Image), firstPixels);
    TTreemapPicture fresh;
    TExtColors colors;
    const TTreemapRenderer::TJob job = d.Job(400, 300, d.big);
    ASSERT_EQ(PaintTreemap(job.Settings, job.Request, colors, fresh).Outcome, TDrawOutcome::Drawn);
    EXPECT_EQ(Pixels(zoomed->Image), Pixels(fresh.Image));
    ASSERT_EQ(zoomed->Layout.Items.size(), fresh.Layout.Items.size());
    EXPECT_TRUE(zoomed->Layout.Zoomed);
    for (size_t i = 0; i < fresh.Layout.Items.size(); ++i)
        EXPECT_EQ(zoomed->Layout.Items[i].Rec, fresh.Layout.Items[i].Rec) << i;
    // The reused layout's lookup knows only the new items.
    EXPECT_EQ(zoomed->Layout.Find(d.b.root, false), kNoItem);
    EXPECT_NE(zoomed->Layout.Find(d.big, false), kNoItem);
}

TEST(TreemapRenderer, OnlyTheNewestRequestIsDeliveredAndStopLeavesItIdle) {
    Drawings d;
    uint64_t last = 0;
    for (int i = 0; i < 6; ++i) last = d.renderer.Request(d.Job(300 + 40 * i, 200 + 20 * i));
    auto newest = d.Await(last);
    ASSERT_TRUE(newest);
    EXPECT_EQ(newest->Image.Width(), 300 + 40 * 5);
    EXPECT_EQ(newest->Image.Height(), 200 + 20 * 5);
    {
        std::lock_guard<std::mutex> g(d.lock);
        for (size_t i = 1; i < d.done.size(); ++i) EXPECT_LT(d.done[i - 1].Id, d.done[i].Id);
        EXPECT_EQ(d.done.back().Id, last); // nothing older came after the newest
    }
    d.renderer.Request(d.Job(640, 480));
    d.renderer.Stop();
    EXPECT_FALSE(d.renderer.Busy());
}
