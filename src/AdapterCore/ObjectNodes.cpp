#include "ObjectNodes.h"

#include <vector>

#include "NumberText.h"
#include "StringBridge.h"
#include "Summaries.h"

using namespace HalconCpp;

std::wstring pluralClassLabel(const std::wstring& className, int32_t count) {
    if (count < 2) return className;
    return (className == L"image" ? std::wstring(L"images") : className) + L"[" + integerText(count) + L"]";
}

namespace {

// The summary of one object by its class: an image, or whatever else it is.
std::wstring summaryOf(const std::wstring& className, const HObject& object) {
    return className == L"image" ? imageValueSummary(object, 1) : nonImageValueSummary(className, object);
}

std::wstring markedFirst(const std::wstring& summary) {
    return summary.empty() ? summary : summary + L" (first)";
}

}  // namespace

std::unique_ptr<NativeNode> buildObjectNode(const HObject& object, const std::wstring& label,
                                            IxPathSegmentKind pathSegmentKind, int32_t pathIndex) {
    auto node = std::make_unique<NativeNode>();
    node->label = label;
    node->kind = IxNodeKind::Object;
    node->pathSegmentKind = pathSegmentKind;
    node->pathIndex = pathIndex;
    if (pathSegmentKind == IxPathSegmentKind::Index) node->pathSegment = indexSegment(node->label, pathIndex);
    node->object = object;

    const HTuple classTuple = object.GetObjClass();
    if (classTuple.Length() == 0) {
        node->typeLabel = L"empty_obj";
        node->objectClass = L"empty_obj";
        node->objectCount = 0;
        return node;
    }

    std::vector<std::wstring> classes;
    classes.reserve(static_cast<size_t>(classTuple.Length()));
    for (Hlong i = 0; i < classTuple.Length(); ++i) classes.push_back(oneLine(fromHString(classTuple[i].S())));
    const std::wstring& firstClass = classes.front();
    bool mixed = false;
    for (size_t i = 1; i < classes.size() && !mixed; ++i) mixed = classes[i] != firstClass;

    HTuple countTuple;
    CountObj(object, &countTuple);
    const int32_t count = countTuple[0].I();

    node->objectClass = mixed ? L"mixed" : firstClass;
    node->isImage = firstClass == L"image";
    node->objectCount = count;

    if (mixed) {
        node->typeLabel = L"mixed[" + integerText(count) + L"]";
        node->valueSummary = markedFirst(summaryOf(firstClass, object.SelectObj(1)));
    } else if (firstClass == L"image") {
        node->typeLabel = pluralClassLabel(firstClass, count);
        node->valueSummary = imageValueSummary(object, count);
    } else if (count <= 1) {
        node->typeLabel = pluralClassLabel(firstClass, count);
        node->valueSummary = nonImageValueSummary(firstClass, object);
    } else {
        node->typeLabel = pluralClassLabel(firstClass, count);
        node->valueSummary = markedFirst(nonImageValueSummary(firstClass, object.SelectObj(1)));
    }

    if (count >= 2) {
        node->detailEntryCount = count;
        node->detailLines.reserve(classes.size());
        // One class name per object: the two counts agree, the bound keeps a
        // disagreement from reading past the names.
        for (int32_t i = 1; i <= count && static_cast<size_t>(i) <= classes.size(); ++i) {
            const std::wstring& className = classes[static_cast<size_t>(i - 1)];
            node->detailLines.push_back(className + L": " + summaryOf(className, object.SelectObj(i)));
        }
    }
    return node;
}
