#pragma once

#include "EmulatorConfig.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace camemu {

// The pictures one stream of a camera sends: a cycle of `patternFrames` frames in the
// stream's pixel format, rendered when first needed and kept, so that a stream costs
// its producer a copy per frame. A frame shows colour bars, a bar that moves one step
// per frame and the frame's place in the cycle as a strip of 16 black and white blocks
// along the bottom (most significant first); or, with a movie as the source, the
// movie's first frames scaled to the size.
//
// MJPEG frames are 4:2:2 JPEGs as UVC cameras send them (without Huffman tables when
// the camera is configured so); H.264 frames are each a key frame.
//
// Not thread-safe: one producer uses it.
class FrameSource {
public:
    FrameSource(const CameraConfig& camera, std::uint32_t fourcc, std::uint32_t width, std::uint32_t height);
    ~FrameSource();
    FrameSource(const FrameSource&) = delete;
    FrameSource& operator=(const FrameSource&) = delete;

    // The bytes of the frame with this sequence number (empty when it could not be made).
    const std::vector<std::uint8_t>& frame(std::uint64_t sequence);
    // With a movie on the wall clock (CameraConfig::movieStartNs): the frame exposed
    // from fromS to toS of the movie's time, the movie's pictures weighed by how long
    // each showed within the exposure. Times only go forward: the movie is decoded as
    // it plays and only the pictures still to be shown are kept.
    const std::vector<std::uint8_t>& sceneFrame(double fromS, double toS);
    std::uint32_t cycleLength() const { return std::uint32_t(m_frames.size()); }

    // The bytes per line and image size a driver reports for a raw format (0 for
    // compressed ones), as uvcvideo computes them.
    static std::uint32_t bytesPerLine(std::uint32_t fourcc, std::uint32_t width);
    static std::uint32_t rawImageSize(std::uint32_t fourcc, std::uint32_t width, std::uint32_t height);

private:
    void renderPattern(std::uint32_t index, std::vector<std::uint8_t>& rgb) const;
    bool loadMovie(const std::string& path);
    std::vector<std::uint8_t> encode(const std::vector<std::uint8_t>& rgb);

    const CameraConfig& m_camera;
    std::uint32_t m_fourcc, m_width, m_height;
    std::vector<std::vector<std::uint8_t>> m_frames; // by place in the cycle; empty until made
    std::vector<std::vector<std::uint8_t>> m_movie;  // RGB24 pictures of the movie
    std::vector<std::uint8_t> m_bars;                // RGB24 colour bars, made once
    struct Codec;
    std::unique_ptr<Codec> m_codec; // encoders kept between frames
    struct Scene;
    std::unique_ptr<Scene> m_scene; // the movie played on the wall clock
    static const std::vector<std::uint8_t> s_none;
};

// Removes every DHT segment of a JPEG (a UVC camera's MJPEG frames carry none: the
// decoder uses the standard tables of ITU-T T.81, Annex K.3).
std::vector<std::uint8_t> withoutHuffmanTables(const std::vector<std::uint8_t>& jpeg);

} // namespace camemu
