// A temporary directory for tests that write files; removed with everything in it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include "Raises.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "HalconCpp.h"
#include "iconic/Iconic.h"
#include "formats/Formats.h"

class TempDir {
public:
    TempDir() {
        path_ = std::filesystem::temp_directory_path() /
                ("ixtest_" + std::to_string(getpid()) + "_" + std::to_string(counter()++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path(const std::string& name = "") const { return name.empty() ? path_.string() : (path_ / name).string(); }

    std::string write(const std::string& name, const std::string& bytes) const {
        const std::filesystem::path file = path_ / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        return write(name, std::string(bytes.begin(), bytes.end()));
    }

private:
    static int& counter() {
        static int n = 0;
        return n;
    }
    std::filesystem::path path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// ---------------------------------------------------------------------------
// Files through a format's reader.

using ReadFormat = ixv::IconicPtr (*)(const ixv::formats::ByteSource&, ixv::Budget&);
using Planes = std::vector<std::vector<double>>;

// The output allowance the format table gives a file of the format `read` belongs to.
inline ixv::Budget budgetOf(ReadFormat read, const ixv::formats::ByteSource& file) {
    for (const ixv::formats::Format& format : ixv::formats::formats())
        if (format.readImage == read) return ixv::formats::budgetFor(format, file);
    return ixv::Budget(file.size(), 0, "read_image");
}

// The image a file holds.
inline std::shared_ptr<const ixv::Image> readOne(ReadFormat read, const std::vector<uint8_t>& bytes) {
    const auto file = ixv::formats::ByteSource::inMemory(bytes.data(), bytes.size());
    ixv::Budget budget = budgetOf(read, file);
    return std::dynamic_pointer_cast<const ixv::Image>(read(file, budget));
}

// The message reading `bytes` raises, or "" when they read; nothing may be printed meanwhile.
inline std::string readError(ReadFormat read, const std::vector<uint8_t>& bytes) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const std::string message = messageOf([&] { readOne(read, bytes); });
    EXPECT_EQ(::testing::internal::GetCapturedStdout() + ::testing::internal::GetCapturedStderr(), "");
    return message;
}

// Pixel type, width x height x channels, and the domain's area unless it is the full rectangle.
inline std::string shapeOf(const ixv::Image& image) {
    std::string shape = std::string(ixv::pixelTypeName(image.type())) + " " + std::to_string(image.width()) + "x" +
                        std::to_string(image.height()) + "x" + std::to_string(image.channelCount());
    return image.reducedDomain() ? shape + " domain " + std::to_string(image.reducedDomain()->area()) : shape;
}

// Every channel, top row first, whatever the pixel type.
inline Planes planesOf(const ixv::Image& image) {
    Planes planes;
    const size_t n = static_cast<size_t>(image.width() * image.height());
    for (const ixv::Plane& plane : image.planes()) {
        auto values = [&](auto sample) {
            std::vector<double> out(n);
            for (size_t i = 0; i < n; ++i) {
                std::memcpy(&sample, plane->data() + i * sizeof sample, sizeof sample);
                out[i] = static_cast<double>(sample);
            }
            return out;
        };
        switch (image.type()) {
        case ixv::PixelType::Byte: planes.push_back(values(uint8_t{})); break;
        case ixv::PixelType::Int1: planes.push_back(values(int8_t{})); break;
        case ixv::PixelType::UInt2: planes.push_back(values(uint16_t{})); break;
        case ixv::PixelType::Int2: planes.push_back(values(int16_t{})); break;
        case ixv::PixelType::Int4: planes.push_back(values(int32_t{})); break;
        case ixv::PixelType::Int8: planes.push_back(values(int64_t{})); break;
        case ixv::PixelType::Real: planes.push_back(values(float{})); break;
        }
    }
    return planes;
}

// An image of `channels` channels of the type whose values use the type's
// range (negative, above 255, fractional), never only 0 and the maximum.
inline HalconCpp::HObject testImage(ixv::PixelType type, int channels, int width = 7, int height = 5) {
    std::vector<ixv::Plane> planes;
    for (int c = 0; c < channels; ++c) {
        auto plane = ixv::Image::newPlane(type, width, height);
        for (int i = 0; i < width * height; ++i) {
            const int64_t v = (i * 37 + c * 101 + 3) % 200;
            auto put = [&](auto sample) { std::memcpy(plane->data() + i * sizeof sample, &sample, sizeof sample); };
            switch (type) {
            case ixv::PixelType::Byte: put(static_cast<uint8_t>(v)); break;
            case ixv::PixelType::Int1: put(static_cast<int8_t>(v - 100)); break;
            case ixv::PixelType::UInt2: put(static_cast<uint16_t>(v * 300)); break;
            case ixv::PixelType::Int2: put(static_cast<int16_t>(v * 300 - 30000)); break;
            case ixv::PixelType::Int4: put(static_cast<int32_t>(v * 10000000 - 1000000000)); break;
            case ixv::PixelType::Int8: put(static_cast<int64_t>(v - 100) * 4000000000000LL); break;
            case ixv::PixelType::Real: put(static_cast<float>(v) * 0.37f - 20.5f); break;
            }
        }
        planes.push_back(plane);
    }
    return ixv::objectOf({ixv::Image::make(type, width, height, planes)});
}

inline const ixv::Image& imageOf(const HalconCpp::HObject& object) {
    return ixv::objectAs<ixv::Image>(ixv::objectsOf(object).front(), "test");
}

// A file cut anywhere is refused as "Invalid <FORMAT> file: ...", never read in part.
inline void expectTruncationsInvalid(ReadFormat read, const std::vector<uint8_t>& bytes, const std::string& format) {
    for (size_t size = 0; size < bytes.size(); ++size) {
        const std::string message = readError(read, std::vector<uint8_t>(bytes.begin(), bytes.begin() + size));
        EXPECT_EQ(message.rfind("Invalid " + format + " file: ", 0), 0u) << "cut to " << size << ": " << message;
    }
}

// A file another process shortens while it is read (a camera still writing it)
// is error 5201, not an image made of what was read before, and nothing is printed.
inline void expectTruncatedWhileRead(ReadFormat read, const std::vector<uint8_t>& bytes) {
    TempDir dir;
    const std::string path = dir.write("shrinking", bytes);
    const auto file = ixv::formats::ByteSource::openFile(path, "read_image");
    ixv::Budget budget = budgetOf(read, file);
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(bytes.size() / 2)), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(errorOf([&] { read(file, budget); }), 5201);
    EXPECT_NE(messageOf([&] { read(file, budget); }).find("was truncated while being read"), std::string::npos);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}
