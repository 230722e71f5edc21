#pragma once

#include <QString>

namespace lumetra {

// Where the samples of the PC recording go besides the record file: the live list is one
// sink; a program without a display has its own. The sampler keeps a plain pointer: whoever
// owns a sink calls Sampler::sinkGone() before it is destroyed.
class SampleSink {
public:
    virtual ~SampleSink() = default;
    // One sampling moment: its number in this sink, its time stamp and the reading shown.
    virtual void appendSample(int number, const QString& timeStamp, const QString& reading) = 0;
    // The sink takes no more samples (its unit changed, the meter left plain reading, or it
    // is full); it may go away.
    virtual void endSamples() = 0;
    // Sampling moments went by without a reading (the meter was busy with other work): one
    // marked row in their place, at the time stamp of the first.
    virtual void appendGap(const QString& timeStamp, int missed) = 0;
};

} // namespace lumetra
