// Reading files piecewise and writing them in one piece.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <clocale>
#include <filesystem>

#include "Raises.h"
#include "TestFiles.h"
#include "base/Limits.h"
#include "formats/ByteSource.h"
#include "formats/Formats.h"

using ixv::formats::ByteSource;
using ixv::formats::ByteStream;
using ixv::formats::FileSink;

TEST(ByteSource, ReadsBeyondTheEndNameTheFormatAndThePlace) {
    const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6};
    const ByteSource file = ByteSource::inMemory(bytes.data(), bytes.size());
    uint8_t out[8];
    EXPECT_EQ(messageOf([&] { file.read(4, out, 4, "BMP", "palette"); }),
              "Invalid BMP file: truncated palette at offset 4 (needs 4 bytes, 2 left)");
    EXPECT_EQ(file.readSome(4, out, 8), 2u);

    ByteStream stream(file, "PNM", 1);
    EXPECT_EQ(stream.get(), 2);
    stream.read(out, 3, "header");
    EXPECT_EQ(out[2], 5);
    EXPECT_EQ(stream.get(), 6);
    EXPECT_EQ(stream.get(), -1);
    stream.seek(2);
    EXPECT_EQ(messageOf([&] { stream.skip(5, "row"); }),
              "Invalid PNM file: truncated row at offset 2 (needs 5 bytes, 4 left)");
}

TEST(FileSink, ReplacesTheTargetOnlyWhenCommittedAndLeavesNoTemporaryFile) {
    TempDir dir;
    const std::string target = dir.write("out.hobj", std::string("old"));
    {
        FileSink sink(target, "write_object");
        sink.write("new", 3);
    }
    EXPECT_EQ(readFile(target), "old");
    FileSink sink(target, "write_object");
    sink.write("new content", 11);
    sink.commit();
    EXPECT_EQ(readFile(target), "new content");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_EQ(errorOf([&] { FileSink(dir.path("no/such/dir/out.hobj"), "write_object"); }), 5202);
    // The system's part of a message is English whatever the host's locale.
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    const std::string message = messageOf([&] { FileSink(dir.path("no/such/dir/out.hobj"), "write_object"); });
    std::setlocale(LC_ALL, saved.c_str());
    if (german) {
        EXPECT_NE(message.find(": No such file or directory)"), std::string::npos) << message;
    }

    // A FIFO (as a device) is never replaced by a file, nor a directory.
    const std::string fifo = dir.path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(messageOf([&] { FileSink(fifo, "write_dict"); }), "Error while writing file (" + fifo + " is a FIFO)");
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_EQ(messageOf([&] { FileSink(dir.path(), "write_dict"); }), "Error while writing file (" + dir.path() + " is a directory)");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(Limits, SizesSaturateAndBudgetsAreOnePerFile) {
    EXPECT_EQ(ixv::imageBytes(65536, 32768, 8, uint64_t{1} << 30), UINT64_MAX);
    EXPECT_EQ(ixv::imageBytes(3, 2, 2, 4), 48u);
    ixv::Budget budget(1000, 10, "read_image");
    EXPECT_EQ(budget.allowance(), ixv::Limits::outputFloor + 10000);
    budget.take(ixv::Limits::outputFloor, "first page");
    budget.take(10000, "second page");
    const std::string message = messageOf([&] { budget.take(1, "third page"); });
    EXPECT_EQ(message, "third page exceeds the limit of " + std::to_string(budget.allowance()) +
                           " bytes for a file of 1000 bytes (" + std::to_string(budget.allowance()) +
                           " bytes already taken)");
    EXPECT_EQ(errorOf([&] { ixv::checkLimit(5, 4, "read_object", "channel count 5", "channels"); }), 6001);

    // The files of one load share the budget: the floor once, a ceiling for all.
    budget.addFile(500, 10);
    EXPECT_EQ(budget.allowance(), ixv::Limits::outputFloor + 15000);
    EXPECT_NE(messageOf([&] { budget.take(5001, "image"); }).find("for 2 files of 1500 bytes"), std::string::npos);
    budget.addFile(uint64_t{1} << 40, 1000);
    EXPECT_EQ(budget.allowance(), ixv::Limits::outputCeiling);
}

TEST(FormatTable, RecognisesByContentAndNamesItsFormatsInMessages) {
    using ixv::formats::Format;
    TempDir dir;
    const std::string path = dir.write("notes.png", std::string("plain text, not an image"));
    HalconCpp::HObject image;
    EXPECT_EQ(messageOf([&] { HalconCpp::ReadImage(&image, path.c_str()); }),
              "Unsupported image format: " + path + " is not a PNG, JPEG, TIFF, BMP, PNM or object file");
    EXPECT_STREQ(ixv::formats::formatNamed("TIFF", &Format::readImage)->name, "TIFF");
    EXPECT_EQ(ixv::formats::formatNamed("hobj", &Format::readHandle), nullptr);
    // The content decides the format: whole magic numbers only, TIFF and BigTIFF in both byte orders.
    const std::pair<std::string, const char*> heads[] = {
        {"\x89PNG\r\n\x1a\n", "PNG"}, {"\x89PNG\r\n\x1a", ""}, {"\xff\xd8\xff", "JPEG"}, {"\xff\xd8", ""},
        {std::string("\xff\xd8\0\1", 4), ""}, {"BM", "BMP"}, {"BMW is a car maker", ""}, {"P6", "PNM"},
        {"Paris", ""}, {"P7\n", ""}, {std::string("II*\0", 4), "TIFF"}, {std::string("MM\0*\0\0\0\x08", 8), "TIFF"},
        {std::string("II+\0", 4), "TIFF"}, {std::string("MM\0+", 4), "TIFF"}, {std::string("II\0*", 4), ""},
        {std::string("MM*\0", 4), ""}, {"II*", ""}, {"\x89IXOBJ\r\n", "object"},
    };
    for (const auto& [head, name] : heads) {
        const Format* format = ixv::formats::formatOf(reinterpret_cast<const uint8_t*>(head.data()), head.size());
        EXPECT_EQ(format ? format->name : "", std::string(name)) << head;
    }
    for (const Format& format : ixv::formats::formats()) {
        if (!format.matches) continue;  // a format only written is never read
        EXPECT_GT(format.expansion, 0u) << format.name;
    }
}
