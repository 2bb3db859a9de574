#include <string>

#include "base/Access.h"
#include "base/Errors.h"
#include "iconic/Iconic.h"
#include "Operators.h"
#include "base/TupleData.h"

using HalconCpp::HObject;
using HalconCpp::HTuple;

namespace ixv {

const std::vector<IconicPtr>& objectsOf(const HObject& object) {
    static const std::vector<IconicPtr> none;
    const auto& list = Access::objects(object);
    return list ? list->items : none;
}

HObject objectOf(std::vector<IconicPtr> items) {
    auto list = std::make_shared<ObjectList>();
    list->items = std::move(items);
    HObject result;
    Access::setObjects(result, std::move(list));
    return result;
}

}  // namespace ixv

namespace HalconCpp {

HObject HObject::SelectObj(Hlong Index) const {
    const auto& items = ixv::objectsOf(*this);
    if (Index < 1 || Index > static_cast<Hlong>(items.size()))
        ixv::raiseParValue("select_obj", 1,
                           "index " + std::to_string(Index) + " outside 1.." + std::to_string(items.size()));
    return ixv::objectOf({items[static_cast<size_t>(Index - 1)]});
}

HObject HObject::SelectObj(const HTuple& Index) const {
    const auto& items = ixv::objectsOf(*this);
    std::vector<ixv::IconicPtr> selected;
    selected.reserve(static_cast<size_t>(Index.Length()));
    const HTuple isInt = Index.TupleIsIntElem();
    for (Hlong i = 0; i < Index.Length(); ++i) {
        if (!isInt[i].L()) ixv::raiseParValue("select_obj", 1, "indexes must be integers");
        const Hlong k = Index[i].L();
        if (k < 1 || k > static_cast<Hlong>(items.size()))
            ixv::raiseParValue("select_obj", 1,
                               "index " + std::to_string(k) + " outside 1.." + std::to_string(items.size()));
        selected.push_back(items[static_cast<size_t>(k - 1)]);
    }
    return ixv::objectOf(std::move(selected));
}

HTuple HObject::GetObjClass() const {
    std::vector<std::string> names;
    for (const auto& item : ixv::objectsOf(*this)) names.emplace_back(item->className());
    return ixv::tupleOfStrings(names);
}

Hlong HObject::CountObj() const {
    return static_cast<Hlong>(ixv::objectsOf(*this).size());
}

HObject HObject::ConcatObj(const HObject& Objects) const {
    const auto& first = ixv::objectsOf(*this);
    const auto& second = ixv::objectsOf(Objects);
    std::vector<ixv::IconicPtr> items;
    items.reserve(first.size() + second.size());
    items.insert(items.end(), first.begin(), first.end());
    items.insert(items.end(), second.begin(), second.end());
    return ixv::objectOf(std::move(items));
}

void GenEmptyObj(HObject* EmptyObject) {
    if (EmptyObject) *EmptyObject = ixv::objectOf({});
}

void CountObj(const HObject& Objects, HTuple* Number) {
    if (Number) *Number = HTuple(Objects.CountObj());
}

void ConcatObj(const HObject& Objects1, const HObject& Objects2, HObject* ObjectsConcat) {
    if (ObjectsConcat) *ObjectsConcat = Objects1.ConcatObj(Objects2);
}

}  // namespace HalconCpp
