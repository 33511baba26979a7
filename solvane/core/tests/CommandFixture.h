// A core on a temp base folder with recording fakes and a display list of two
// 1920 x 1080 monitors side by side, for the tests of the command families.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "channel/ChannelLayout.h"
#include "channel/Displays.h"
#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "support/support.h"

struct CommandReply {
    tagNETHEAD head{};
    std::vector<uint8_t> body;
    int32_t result = 0;

    int32_t Int(size_t offset) const { return At<int32_t>(offset); }
    double Real(size_t offset) const { return At<double>(offset); }
    template <class T>
    T At(size_t offset) const {
        T v;
        std::memcpy(&v, reinterpret_cast<const uint8_t*>(&head) + offset, sizeof v);
        return v;
    }
};

class CommandFixture : public ::testing::Test {
protected:
    void SetUp() override {
        backend.Add(0, 0, 1920, 1080, true);
        backend.Add(1920, 0, 1920, 1080);
        scoped = std::make_unique<ScopedDisplayBackend>(&backend);
        core = std::make_unique<CMediaManager>(dir.str());
        CoreServices services;
        services.output = &output;
        services.media = &media;
        services.system = &system;
        core->SetServices(services);
        core->SetCentralControl(&central);
    }
    void TearDown() override {
        core.reset();
        scoped.reset();
    }

    static tagNETHEAD Head(uint32_t code, std::initializer_list<int32_t> ints = {}) {
        tagNETHEAD h{};
        h.command = code;
        int k = 0;
        for (int32_t v : ints) h.intParam[k++] = v;
        return h;
    }
    static void SetText(tagNETHEAD& h, const std::string& text) {
        std::memset(h.textParam, 0, sizeof h.textParam);
        std::memcpy(h.textParam, text.data(), std::min(text.size(), sizeof h.textParam - 1));
    }

    CommandReply Send(const tagNETHEAD& h, const std::vector<uint8_t>& body = {}) {
        CommandReply r;
        r.result = core->DispatchCommand(h, body.empty() ? nullptr : body.data(),
                                         static_cast<uint32_t>(body.size()), r.head, r.body, nullptr);
        EXPECT_EQ(r.head.bodyLength, r.body.size());
        return r;
    }

    // A console channel record for output `id` with the undistorted wire grid.
    static CHANNEL_BASE_INFO Record(int32_t id, RECT blend = {}, RECT stage = {}) {
        CHANNEL_BASE_INFO rec;
        std::memset(static_cast<void*>(&rec), 0, sizeof rec);
        rec.channelId = id;
        rec.blendWidth = blend;
        rec.rect = stage;
        for (int i = 0; i < 41; ++i)
            for (int j = 0; j < 41; ++j) rec.grid[i][j] = DOUBLE_POINT{i / 20.0 - 1.0, j / 20.0 - 1.0};
        for (int k = 0; k < 3; ++k) rec.colorRatio[k] = 1.0f;  // packed: no references
        return rec;
    }
    static std::vector<uint8_t> Records(const std::vector<CHANNEL_BASE_INFO>& recs) {
        std::vector<uint8_t> b(recs.size() * sizeof(CHANNEL_BASE_INFO));
        if (!recs.empty()) std::memcpy(b.data(), recs.data(), b.size());
        return b;
    }
    // Set world with the two monitors as channels 1 and 2, 1920 x 1080 each.
    CommandReply SetTwoChannelWorld(RECT blend1 = {0, 0, 4, 0}, RECT blend2 = {4, 0, 0, 0}, int32_t offsetMode = 0) {
        tagNETHEAD h = Head(10, {2, 1, 2, 1920, 1080, 0, 0, offsetMode});
        return Send(h, Records({Record(1, blend1, {0, 0, 1920, 1080}), Record(2, blend2, {1920, 0, 3840, 1080})}));
    }
    CChannelLayout& Layout() { return *core->m_pChannelLayout; }

    testsupport::TempDir dir;
    FakeDisplayBackend backend;
    std::unique_ptr<ScopedDisplayBackend> scoped;
    FakeOutputWindow output;
    FakeMediaFactory media;
    FakeSystemServices system;
    FakeCentralControl central;
    std::unique_ptr<CMediaManager> core;
};
