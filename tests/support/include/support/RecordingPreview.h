// A local preview that records every call as one line of text and answers
// with a settable result, for tests of what the console asks of its preview.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

#include "kestrane/previewlink.h"

class RecordingPreview : public PreviewLink {
public:
    QStringList calls;
    int result = 1;
    // Also told of every call, when set (to interleave it with other records).
    std::function<void(const QString&)> onCall;

    int setPlayRate(double rate, void* media) override {
        return note(QStringLiteral("rate %1 %2").arg(rate).arg(id(media)));
    }
    int play() override { return note(QStringLiteral("play")); }
    int pause() override { return note(QStringLiteral("pause")); }
    int setCurrentTimeline(double t) override { return note(QStringLiteral("time %1").arg(t)); }
    int setMediaLayer(void* media, int layer, double start, double stop) override {
        return note(QStringLiteral("layer %1 %2 %3 %4").arg(id(media)).arg(layer).arg(start).arg(stop));
    }
    int muteMedia(bool mute, void* media) override {
        return note(QStringLiteral("mute %1 %2").arg(int(mute)).arg(id(media)));
    }
    int removeMedia(void* media) override { return note(QStringLiteral("remove %1").arg(id(media))); }

    // Media creation: answers addHandle (null: refused) and, for the media
    // information, infoResult with infoWidth x infoHeight.
    void* addHandle = reinterpret_cast<void*>(quintptr(7));
    int infoResult = 1;
    int infoWidth = 320;
    int infoHeight = 240;
    void* addMedia(int layer, int type, const char* path, PreviewFrameCallback, void* user) override {
        note(QStringLiteral("add %1 %2 %3 %4").arg(layer).arg(type).arg(QString::fromLocal8Bit(path)).arg(id(user)));
        return addHandle;
    }
    int getMediaInfo(void* media, void** frame, int* width, int* height, double*, double*) override {
        note(QStringLiteral("info %1").arg(id(media)));
        if (infoResult) {
            if (frame) *frame = nullptr;
            if (width) *width = infoWidth;
            if (height) *height = infoHeight;
        }
        return infoResult;
    }

    // A handle as the number it carries.
    static quintptr id(void* media) { return reinterpret_cast<quintptr>(media); }

private:
    int note(const QString& call) {
        calls.append(call);
        if (onCall) onCall(call);
        return result;
    }
};
