// Deep-learning model files and 3D object model files: read by the vision
// library as one handle, shown as that handle's keys.
#include "AdapterCore.h"
#include "HandleNodes.h"
#include "StringBridge.h"

using namespace HalconCpp;

std::unique_ptr<NativeNode> AdapterCore::parseDlModelFile(const std::wstring& path, std::wstring& error) {
    return reported(error, std::unique_ptr<NativeNode>(), [&] {
        HDlModel model;
        model.ReadDlModel(toHString(path));
        const HTuple handle(model);
        return buildHandleNode(handle, std::wstring(), IxPathSegmentKind::Name, 0, 0);
    });
}

std::unique_ptr<NativeNode> AdapterCore::parseObjectModel3dFile(const std::wstring& path, std::wstring& error) {
    return reported(error, std::unique_ptr<NativeNode>(), [&] {
        HTuple model, status;
        ReadObjectModel3d(HTuple(toHString(path)), HTuple(toHString(L"m")), HTuple(), HTuple(), &model, &status);
        const HTuple handle(model[0].H());
        return buildHandleNode(handle, std::wstring(), IxPathSegmentKind::Name, 0, 0);
    });
}
