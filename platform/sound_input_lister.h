// The sound inputs as last listed by the sound server, asked for on a worker
// thread: the thread that owns the lister (the user-interface thread) never
// waits for the server. An answer arrives on the owner's thread through the
// owner's event loop, as inputsListed().
#pragma once

#include <QObject>
#include <memory>
#include <thread>
#include <vector>

#include "platform/sound_devices.h"

namespace sound {

class SoundInputLister final : public QObject {
    Q_OBJECT

  public:
    explicit SoundInputLister(std::unique_ptr<SoundDeviceList> server, QObject* parent = nullptr);
    // Cancels a question still out and waits for its thread; its answer is
    // never delivered.
    ~SoundInputLister() override;
    SoundInputLister(const SoundInputLister&) = delete;
    SoundInputLister& operator=(const SoundInputLister&) = delete;

    // Asks the server again, unless a question is already out (its answer
    // is as fresh).
    void refresh();
    bool isAsking() const { return asking_; }
    // The inputs of the latest answer; empty before the first.
    const std::vector<SoundDevice>& inputs() const { return inputs_; }

  signals:
    // inputs() holds a new answer.
    void inputsListed();

  private:
    void takeAnswer(std::vector<SoundDevice> inputs);

    std::unique_ptr<SoundDeviceList> server_;
    std::vector<SoundDevice> inputs_;
    std::thread worker_;
    bool asking_ = false;
};

}  // namespace sound
