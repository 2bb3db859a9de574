// The extraction functions' handling of missing outputs, as a C host calls them.
#include <gtest/gtest.h>

#include "AdapterApi.h"
#include "HalconCpp.h"
#include "ix_adapter.h"

using namespace HalconCpp;

TEST(Extraction, AMissingOutputFailsAndLeavesEveryArrayNull) {
    ReaderHandle* reader = ix_reader_create();
    NativeNode node;
    node.kind = IxNodeKind::Object;
    GenRectangle1(&node.object, 0, 0, 2, 2);

    int32_t *rows = reinterpret_cast<int32_t*>(1), *begins = rows, *ends = rows, count = -7;
    EXPECT_EQ(ix_extract_region_runs(reader, &node, 0, &rows, &begins, &ends, nullptr), 0);
    EXPECT_TRUE(rows == nullptr && begins == nullptr && ends == nullptr);
    EXPECT_EQ(count, -7);
    // The index past the last object: nothing, and no message.
    EXPECT_EQ(ix_extract_region_runs(reader, &node, 1, &rows, &begins, &ends, &count), 0);
    EXPECT_STREQ(ix_reader_last_error(reader), L"");
    ASSERT_EQ(ix_extract_region_runs(reader, &node, 0, &rows, &begins, &ends, &count), 1);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(ends[2], 2);
    ix_free_int_buffer(rows);
    ix_free_int_buffer(begins);
    ix_free_int_buffer(ends);

    double *rows1 = reinterpret_cast<double*>(8), *cols1 = rows1, *rows2 = rows1, *cols2 = rows1;
    int32_t count1 = 0;
    EXPECT_EQ(ix_extract_parallel_lines(reader, &node, 0, &rows1, &cols1, &count1, &rows2, &cols2, nullptr), 0);
    EXPECT_TRUE(rows1 == nullptr && cols1 == nullptr && rows2 == nullptr && cols2 == nullptr);

    uint8_t* pixels = reinterpret_cast<uint8_t*>(8);
    int32_t width, height, rowBytes;
    EXPECT_EQ(ix_extract_image(reader, &node, 0, &width, &height, &rowBytes, nullptr, &pixels), 0);
    EXPECT_EQ(pixels, nullptr);
    ix_reader_destroy(reader);
}
