#include "platform/sound_input_lister.h"

namespace sound {

SoundInputLister::SoundInputLister(std::unique_ptr<SoundDeviceList> server, QObject* parent)
    : QObject(parent), server_(std::move(server)) {}

SoundInputLister::~SoundInputLister() {
    if (!worker_.joinable())
        return;
    server_->cancel();
    worker_.join();
    // An answer the worker posted before it ended goes with this object's
    // pending events.
}

void SoundInputLister::refresh() {
    if (asking_)
        return;
    // A finished question's thread has ended or is about to.
    if (worker_.joinable())
        worker_.join();
    asking_ = true;
    worker_ = std::thread([this] {
        std::vector<SoundDevice> found = server_->inputs();
        QMetaObject::invokeMethod(
            this, [this, found = std::move(found)]() mutable { takeAnswer(std::move(found)); },
            Qt::QueuedConnection);
    });
}

void SoundInputLister::takeAnswer(std::vector<SoundDevice> inputs) {
    asking_ = false;
    inputs_ = std::move(inputs);
    emit inputsListed();
}

}  // namespace sound
