#include "ObjectSaving.h"

#include "AdapterCore.h"
#include "StringBridge.h"

using namespace HalconCpp;

std::wstring imageFormatForSuffix(const std::wstring& suffix) {
    if (suffix == L"jpeg") return L"jpg";
    if (suffix == L"tif") return L"tiff";
    return suffix;
}

namespace {

bool isObjectNode(const NativeNode* node) {
    return node && node->kind == IxNodeKind::Object;
}

}  // namespace

bool AdapterCore::saveObjectAs(const NativeNode* node, const std::wstring& path, std::wstring& error) {
    if (!isObjectNode(node)) return false;
    return reported(error, false, [&] {
        // The suffix picks the writer; whatever is neither an object file nor
        // DXF goes to the image writer as a format name, which decides itself
        // whether it knows the format and can write the objects so.
        const std::wstring suffix = suffixOf(path);
        const HTuple fileName(toHString(path));
        if (suffix == L"hobj") {
            WriteObject(node->object, fileName);
        } else if (suffix == L"dxf") {
            if (node->objectClass == L"xld_poly")
                WritePolygonXldDxf(node->object, fileName);
            else
                WriteContourXldDxf(node->object, fileName);
        } else {
            WriteImage(node->object, HTuple(toHString(imageFormatForSuffix(suffix))), HTuple(static_cast<Hlong>(0)),
                       fileName);
        }
        return true;
    });
}

bool AdapterCore::saveObjectsAs(const std::vector<const NativeNode*>& nodes, const std::wstring& path,
                                std::wstring& error) {
    if (nodes.empty() || !isObjectNode(nodes.front())) return false;
    return reported(error, false, [&] {
        HObject combined = nodes.front()->object;
        for (size_t i = 1; i < nodes.size(); ++i) {
            if (!isObjectNode(nodes[i])) continue;
            HObject joined;
            ConcatObj(combined, nodes[i]->object, &joined);
            combined = joined;
        }
        // Always an object file, whatever the path's suffix says.
        WriteObject(combined, HTuple(toHString(path)));
        return true;
    });
}
