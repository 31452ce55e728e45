// Shared pieces of the recorder tests: test doubles for the X11 screen, the
// system clock and sound capture, the colour a decoder shows, and the main
// window on its record page.
#pragma once

#include <QDateTime>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/screen_source.h"
#include "platform/sound_source.h"
#include "recorder/clock.h"
#include "tests/support/window_test_application.h"
#include "ui/drui.h"

// A screen whose every frame is one solid colour, or noise that no encoder
// can shrink (to fill a drive quickly).
class ScriptedScreenDouble final : public ScreenSource {
  public:
    explicit ScriptedScreenDouble(int width = 64, int height = 48) {
        geometry_.width = width;
        geometry_.height = height;
    }
    int probe(ScreenGeometry& geometry) override {
        geometry = geometry_;
        return probeStatus;
    }
    int open(const ScreenGeometry&) override { return openStatus; }
    int grab(std::span<std::uint8_t> frame) override {
        for (std::size_t i = 0; i + 3 < frame.size(); i += 4) {
            const std::uint32_t pixel = noise ? static_cast<std::uint32_t>(random_()) : colour;
            for (std::size_t byte = 0; byte < 3; ++byte)
                frame[i + byte] = static_cast<std::uint8_t>(pixel >> (8 * byte));
        }
        return kScreenOk;
    }
    void close() override {}

    int probeStatus = kScreenOk;
    int openStatus = kScreenOk;
    std::uint32_t colour = 0x336699;  // 0xRRGGBB
    bool noise = false;

  private:
    ScreenGeometry geometry_;
    std::minstd_rand random_{12345};
};

// A clock that moves only when the test says so.
class ManualClockDouble final : public recorder::Clock {
  public:
    QDateTime localNow() const override { return local; }
    std::int64_t monotonicMs() const override { return ms; }
    void advance(std::int64_t step) {
        ms += step;
        local = local.addMSecs(step);
    }

    QDateTime local{QDate(2016, 12, 5), QTime(9, 30, 7)};
    std::int64_t ms = 1000000;
};

// A capture that hands over the blocks the test gives it, and when stopped
// the partly filled block it still holds (`lastBlockBytes`, 0 for none).
class SoundSourceDouble final : public sound::SoundSource {
  public:
    int start(const std::string&, sound::SoundBlockSink sink) override {
        sink_ = std::move(sink);
        return 0;
    }
    void setPaused(bool) override {}
    void stop() override {
        if (sink_ && lastBlockBytes > 0)
            deliver(lastBlockBytes);
        sink_ = nullptr;
    }
    bool isRunning() const override { return static_cast<bool>(sink_); }
    void deliver(std::size_t bytes) {
        const std::vector<std::uint8_t> block(bytes, 5);
        if (sink_)
            sink_(block.data(), block.size());
    }

    std::size_t lastBlockBytes = 0;

  private:
    sound::SoundBlockSink sink_;
};

// The 5-5-5 pixel a Video 1 decoder shows for an 0xRRGGBB colour.
inline std::uint16_t rgb555(std::uint32_t rgb) {
    return static_cast<std::uint16_t>(((rgb >> 19) & 0x1F) << 10 | ((rgb >> 11) & 0x1F) << 5 |
                                      ((rgb >> 3) & 0x1F));
}

// The main window on its record page: it saves into `saveDir`, and its
// message boxes (modal, they would hang a test) are collected as texts.
// `sources` runs before the pages are built, to put test doubles in place.
inline std::unique_ptr<DRUI> openRecordPage(const QTemporaryDir& dir, const QString& saveDir,
                                            std::vector<QString>& messages,
                                            const std::function<void(DRUI&)>& sources = {}) {
    ensureApplication();
    auto window = std::make_unique<DRUI>();
    window->setIniPath(dir.filePath(QStringLiteral("VodozaZevuri.ini")));
    if (sources)
        sources(*window);
    window->setupPages();
    window->showInformation = [&messages](QWidget*, const QString&, const QString& text) {
        messages.push_back(text);
    };
    window->chooseDirectory = [saveDir](QWidget*) { return saveDir; };
    window->btnSlotLayout2Dir();
    window->show();
    window->btnSlot();  // the record page, with its tray icon
    return window;
}
