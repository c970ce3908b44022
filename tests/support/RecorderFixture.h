#pragma once

// Shared by the recorder tests: frames from the test pattern, a recording's
// statuses as the UI thread receives them, and waiting for its end.

#include "AviProbe.h"
#include "recorder/Recorder.h"

#include <QCoreApplication>
#include <QThread>
#include <QTime>
#include <QVector>
#include <QtTest>

inline VideoFrame patternFrame(uint64_t number, int64_t captureUs, QSize size = {320, 240}) {
    VideoFrame f(TestPattern::render(size, TestPattern::ColourBars, 50, number, QTime(12, 0)));
    f.captureTimeUs = captureUs;
    f.sequence = number;
    return f;
}

struct RecordingLog {
    struct Entry {
        int id;
        QString text;
        bool onUiThread;
    };
    QVector<Entry> statuses;
    bool finished = false;
    bool ok = false;
    int64_t headerFramesAtEnd = -1; // what the file says when status 301 arrives
    // Whether the recorder still counted as recording when each status left it. The
    // last status of a recording must find it over, or whoever reads the status then
    // (the program's status callback) takes the capture for still running.
    QVector<bool> recordingWhenSent;

    void attach(Recorder& recorder, QObject* context, const QString& path) {
        // Direct: runs on the recorder's thread as the status is sent.
        QObject::connect(&recorder, &Recorder::status, [this, &recorder](int, const QString&) {
            recordingWhenSent.append(recorder.isRecording());
        });
        QObject::connect(&recorder, &Recorder::status, context, [this, path](int id, const QString& text) {
            statuses.append({id, text, QThread::currentThread() == QCoreApplication::instance()->thread()});
            if (id == RecorderStatusId::End) headerFramesAtEnd = AviProbe::read(path).headerFrames;
        });
        QObject::connect(&recorder, &Recorder::finished, context, [this](bool result) {
            finished = true;
            ok = result;
        });
    }
    bool has(int id) const {
        for (const Entry& e : statuses)
            if (e.id == id) return true;
        return false;
    }
    QString text(int id) const {
        for (const Entry& e : statuses)
            if (e.id == id) return e.text;
        return {};
    }
};

// Waits until the recorder's writer is ready for frames (status 300).
#define KV_WAIT_BEGIN(log)                                                                                   \
    QTRY_VERIFY_WITH_TIMEOUT((log).has(RecorderStatusId::Begin) || (log).finished, 10000)
#define KV_WAIT_END(log) QTRY_VERIFY_WITH_TIMEOUT((log).finished, 30000)
