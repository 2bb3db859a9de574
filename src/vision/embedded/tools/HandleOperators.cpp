// The operators on handles: dictionaries, matrices, 3D object models,
// deep-learning models, and the generic key queries every handle answers.
#include <cstring>
#include <string>

#include "base/Access.h"
#include "base/Errors.h"
#include "base/Limits.h"
#include "base/Params.h"
#include "base/TupleData.h"
#include "HDict.h"
#include "Operators.h"
#include "tools/Dict.h"
#include "tools/DlModel.h"
#include "tools/Matrix.h"
#include "tools/ObjectModel3d.h"

using HalconCpp::HHandle;
using HalconCpp::HObject;
using HalconCpp::HString;
using HalconCpp::HTuple;

namespace {

using namespace ixv;

Tool& toolOf(const HHandle& handle, const char* proc) {
    const auto& tool = Access::tool(handle);
    if (!tool) raise(proc, err::NullHandle);
    return *tool;
}

// "keys", "key_exists" and "key_data_type" of any tool, for each element of `key`.
HTuple keyParam(const Tool& tool, const char* name, const HTuple& key, const char* proc) {
    if (std::strcmp(name, "keys") == 0) return tool.keys();
    const bool dataType = std::strcmp(name, "key_data_type") == 0;
    if (!dataType && std::strcmp(name, "key_exists") != 0)
        raiseParValue(proc, 2, "unknown parameter '" + std::string(name) + "'; expected keys, key_exists or key_data_type");
    if (dataType && key.Length() == 1) return sharedString(tool.keyDataType(key, proc));
    std::vector<Element> result;
    result.reserve(static_cast<size_t>(key.Length()));
    for (Hlong i = 0; i < key.Length(); ++i) {
        const HTuple one(key[i]);
        if (dataType) {
            result.emplace_back(std::string(tool.keyDataType(one, proc)));
        } else {
            bool exists = true;
            try {
                tool.keyDataType(one, proc);
            } catch (const HalconCpp::HException&) {
                exists = false;
            }
            result.emplace_back(Hlong{exists ? 1 : 0});
        }
    }
    if (!dataType) {
        std::vector<Hlong> flags;
        for (const Element& e : result) flags.push_back(std::get<Hlong>(e));
        return tupleOfLongs(std::move(flags));
    }
    return tupleOfElements(std::move(result));
}

std::vector<double> numbersOf(const HTuple& tuple, const char* proc, int position) {
    std::vector<double> values(static_cast<size_t>(tuple.Length()));
    for (Hlong i = 0; i < tuple.Length(); ++i) values[static_cast<size_t>(i)] = numberAt(tuple, i, proc, position);
    return values;
}

std::vector<float> coordinatesOf(const HTuple& tuple, const char* proc, int position) {
    std::vector<float> values(static_cast<size_t>(tuple.Length()));
    for (Hlong i = 0; i < tuple.Length(); ++i)
        values[static_cast<size_t>(i)] = static_cast<float>(numberAt(tuple, i, proc, position));
    return values;
}

}  // namespace

namespace HalconCpp {

// --- dictionaries -------------------------------------------------------------

HTuple HDict::GetDictParam(const HString& GenParamName, const HTuple& Key) const {
    return keyParam(toolAs<Dict>(*this, "get_dict_param"), GenParamName.TextA(), Key, "get_dict_param");
}

HTuple HDict::GetDictParam(const char* GenParamName, const char* Key) const {
    return GetDictParam(HString(GenParamName), Key ? HTuple(Key) : HTuple());
}

HTuple HDict::GetDictTuple(const HTuple& Key) const {
    return toolAs<Dict>(*this, "get_dict_tuple").tupleAt(Key, "get_dict_tuple");
}

HObject HDict::GetDictObject(const HTuple& Key) const {
    return toolAs<Dict>(*this, "get_dict_object").objectAt(Key, "get_dict_object");
}

void CreateDict(HTuple* DictHandle) {
    if (DictHandle) *DictHandle = HTuple(handleOf(newDict()));
}

void SetDictTuple(const HTuple& DictHandle, const HTuple& Key, const HTuple& Tuple) {
    Dict& dict = toolAs<Dict>(singleHandle(DictHandle, "set_dict_tuple", 1), "set_dict_tuple");
    dict.set(DictKey::of(Key, "set_dict_tuple", 2), DictValue::of(Tuple));
}

void SetDictObject(const HObject& Object, const HTuple& DictHandle, const HTuple& Key) {
    Dict& dict = toolAs<Dict>(singleHandle(DictHandle, "set_dict_object", 1), "set_dict_object");
    dict.set(DictKey::of(Key, "set_dict_object", 2), DictValue::of(Object.IsInitialized() ? Object : HObject()));
}

// --- matrices -----------------------------------------------------------------

void CreateMatrix(const HTuple& Rows, const HTuple& Columns, const HTuple& Value, HTuple* MatrixID) {
    const char* proc = "create_matrix";
    const int64_t rows = singleInteger(Rows, proc, 1), columns = singleInteger(Columns, proc, 2);
    Matrix::checkSize(rows, columns, proc);
    const size_t count = static_cast<size_t>(rows * columns);
    std::vector<double> values;
    if (Value.Length() == 1)
        values.assign(count, numberAt(Value, 0, proc, 3));
    else if (static_cast<size_t>(Value.Length()) == count)
        values = numbersOf(Value, proc, 3);
    else
        raiseParCount(proc, 3, "expected 1 or " + std::to_string(count) + " values");
    if (MatrixID) *MatrixID = HTuple(handleOf(std::make_shared<Matrix>(rows, columns, std::move(values))));
}

void SetFullMatrix(const HTuple& MatrixID, const HTuple& Values) {
    const char* proc = "set_full_matrix";
    Matrix& matrix = toolAs<Matrix>(singleHandle(MatrixID, proc, 1), proc);
    const size_t count = matrix.values().size();
    if (Values.Length() == 1)
        matrix.values().assign(count, numberAt(Values, 0, proc, 2));
    else if (static_cast<size_t>(Values.Length()) == count)
        matrix.values() = numbersOf(Values, proc, 2);
    else
        raiseParCount(proc, 2, "expected 1 or " + std::to_string(count) + " values");
}

void GetSizeMatrix(const HTuple& MatrixID, HTuple* Rows, HTuple* Columns) {
    const Matrix& matrix = toolAs<Matrix>(singleHandle(MatrixID, "get_size_matrix", 1), "get_size_matrix");
    if (Rows) *Rows = HTuple(matrix.rows());
    if (Columns) *Columns = HTuple(matrix.columns());
}

void GetFullMatrix(const HTuple& MatrixID, HTuple* Values) {
    const Matrix& matrix = toolAs<Matrix>(singleHandle(MatrixID, "get_full_matrix", 1), "get_full_matrix");
    if (Values) *Values = tupleOfDoubles(matrix.values());
}

// --- 3D object models ---------------------------------------------------------

void GenObjectModel3dFromPoints(const HTuple& X, const HTuple& Y, const HTuple& Z, HTuple* ObjectModel3D) {
    const char* proc = "gen_object_model_3d_from_points";
    if (Y.Length() != X.Length()) raiseParCount(proc, 2, "expected as many values as X");
    if (Z.Length() != X.Length()) raiseParCount(proc, 3, "expected as many values as X");
    checkLimit(static_cast<uint64_t>(X.Length()), Limits::runsOrPoints, proc,
               std::to_string(X.Length()) + " points", "points");
    auto model = std::make_shared<ObjectModel3d>();
    model->x = coordinatesOf(X, proc, 1);
    model->y = coordinatesOf(Y, proc, 2);
    model->z = coordinatesOf(Z, proc, 3);
    if (ObjectModel3D) *ObjectModel3D = HTuple(handleOf(std::move(model)));
}

void GetObjectModel3dParams(const HTuple& ObjectModel3D, const HTuple& GenParamName, HTuple* GenParamValue) {
    const char* proc = "get_object_model_3d_params";
    const ObjectModel3d& model = toolAs<ObjectModel3d>(singleHandle(ObjectModel3D, proc, 1), proc);
    if (GenParamName.Length() < 1) raiseParCount(proc, 2, "expected at least one parameter name");
    HTuple result;
    for (Hlong i = 0; i < GenParamName.Length(); ++i) result.Append(model.param(stringAt(GenParamName, i, proc, 2), proc));
    if (GenParamValue) *GenParamValue = result;
}

// --- deep-learning models -----------------------------------------------------

void GetDlModelParam(const HTuple& DLModelHandle, const HTuple& GenParamName, HTuple* GenParamValue) {
    const char* proc = "get_dl_model_param";
    const DlModel& model = toolAs<DlModel>(singleHandle(DLModelHandle, proc, 1), proc);
    const HTuple value = model.param(singleString(GenParamName, proc, 2), proc);
    if (GenParamValue) *GenParamValue = value;
}

// --- every handle -------------------------------------------------------------

void GetHandleParam(const HTuple& Handle, const HTuple& GenParamName, const HTuple& Key, HTuple* GenParamValue) {
    const char* proc = "get_handle_param";
    const Tool& tool = toolOf(singleHandle(Handle, proc, 1), proc);
    const HTuple value = keyParam(tool, singleString(GenParamName, proc, 2).c_str(), Key, proc);
    if (GenParamValue) *GenParamValue = value;
}

void GetHandleTuple(const HTuple& Handle, const HTuple& Key, HTuple* Tuple) {
    const char* proc = "get_handle_tuple";
    const HTuple value = toolOf(singleHandle(Handle, proc, 1), proc).tupleAt(Key, proc);
    if (Tuple) *Tuple = value;
}

void GetHandleObject(HObject* Object, const HTuple& Handle, const HTuple& Key) {
    const char* proc = "get_handle_object";
    const HObject value = toolOf(singleHandle(Handle, proc, 2), proc).objectAt(Key, proc);
    if (Object) *Object = value;
}

void ClearHandle(const HTuple& Handle) {
    for (Hlong i = 0; i < Handle.Length(); ++i) {
        const HHandle handle = Handle[i].H();
        // Emptying a dictionary breaks any cycle it is part of; other tools
        // go when their last handle does.
        if (auto* dict = dynamic_cast<Dict*>(Access::tool(handle).get())) dict->clear();
    }
}

}  // namespace HalconCpp
