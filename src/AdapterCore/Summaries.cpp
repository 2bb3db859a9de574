#include "Summaries.h"

#include <set>
#include <vector>

#include "NumberText.h"
#include "StringBridge.h"

using namespace HalconCpp;

std::wstring nonImageValueSummary(const std::wstring& className, const HObject& object) {
    if (className == L"region") return regionValueSummary(object);
    if (className == L"xld_cont") return contourValueSummary(object);
    if (className == L"xld_poly") return polygonValueSummary(object);
    if (className == L"xld_parallel") return parallelValueSummary(object);
    return std::wstring();
}

std::wstring regionValueSummary(const HObject& region) {
    HTuple area, row, column;
    AreaCenter(region, &area, &row, &column);
    const long long pixels = area[0].L();
    if (pixels == 0) return L"area: 0";
    return L"area: " + integerText(pixels) + L"; center: " + fixedText(row[0].D(), 1) + L", " +
           fixedText(column[0].D(), 1);
}

namespace {

// "<word>: <points>; length: <length, 2 decimals>", the form of contours,
// polygons and each line of a parallel.
std::wstring pointsAndLength(const wchar_t* word, Hlong points, double length) {
    return word + (L": " + integerText(points)) + L"; length: " + fixedText(length, 2);
}

}  // namespace

std::wstring contourValueSummary(const HObject& contour) {
    HTuple rows, columns, length;
    GetContourXld(contour, &rows, &columns);
    LengthXld(contour, &length);
    return pointsAndLength(L"contour points", rows.Length(), length[0].D());
}

std::wstring polygonValueSummary(const HObject& polygon) {
    HTuple rows, columns, lengths, angles, length;
    GetPolygonXld(polygon, &rows, &columns, &lengths, &angles);
    LengthXld(polygon, &length);
    return pointsAndLength(L"points", rows.Length(), length[0].D());
}

std::wstring parallelValueSummary(const HObject& parallel) {
    HTuple rows1, columns1, lengths1, angles1, rows2, columns2, lengths2, angles2;
    GetParallelsXld(parallel, &rows1, &columns1, &lengths1, &angles1, &rows2, &columns2, &lengths2, &angles2);
    return L"first line: " + pointsAndLength(L"points", rows1.Length(), lengths1[0].D()) + L" / second line: " +
           pointsAndLength(L"points", rows2.Length(), lengths2[0].D());
}

namespace {

struct ImageRecord {
    Hlong width = 0;
    Hlong height = 0;
    Hlong channels = 0;
    std::wstring type;
};

// ", domain: <region summary>" when the first image's domain covers less than
// its rectangle; empty otherwise, and on any failure of the vision library.
std::wstring domainPart(const HImage& first, const ImageRecord& record) {
    try {
        HObject domain;
        GetDomain(first, &domain);
        HTuple area, row, column;
        AreaCenter(domain, &area, &row, &column);
        if (area.Length() > 0 && area[0].L() < record.width * record.height)
            return L", domain: " + regionValueSummary(domain);
    } catch (const HException&) {
    }
    return std::wstring();
}

}  // namespace

std::wstring imageValueSummary(const HObject& images, int32_t count) {
    const int32_t examined = count < 1 ? 1 : count;
    std::vector<ImageRecord> records;
    HImage first;
    for (int32_t i = 1; i <= examined; ++i) {
        const HImage image = count < 2 ? HImage(images) : HImage(images.SelectObj(i));
        ImageRecord record;
        HString type;
        image.GetImagePointer1(&type, &record.width, &record.height);
        record.type = oneLine(fromHString(type));
        record.channels = image.CountChannels()[0].L();
        records.push_back(record);
        if (i == 1) first = image;
    }

    const ImageRecord& head = records.front();
    bool sameSize = true, sameChannels = true, sameType = true;
    std::set<Hlong> channelCounts;
    std::set<std::wstring> types;
    for (const ImageRecord& record : records) {
        sameSize = sameSize && record.width == head.width && record.height == head.height;
        sameChannels = sameChannels && record.channels == head.channels;
        sameType = sameType && record.type == head.type;
        channelCounts.insert(record.channels);
        types.insert(record.type);
    }

    std::wstring summary = integerText(head.width) + L"x" + integerText(head.height);
    if (!sameSize) summary += L" (first)";

    summary += L", ";
    if (sameChannels) {
        summary += integerText(head.channels) + L"ch";
    } else {
        summary += L"[";
        for (auto it = channelCounts.begin(); it != channelCounts.end(); ++it)
            summary += (it == channelCounts.begin() ? L"" : L", ") + integerText(*it) + L"ch";
        summary += L"]";
    }

    summary += L", ";
    if (sameType) {
        summary += head.type;
    } else {
        summary += L"[";
        for (auto it = types.begin(); it != types.end(); ++it) summary += (it == types.begin() ? L"" : L", ") + *it;
        summary += L"]";
    }

    return summary + domainPart(first, head);
}
