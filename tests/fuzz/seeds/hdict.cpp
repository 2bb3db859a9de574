#include "DictFileWriter.h"
#include "HalconCpp.h"
#include "Seeds.h"
#include "formats/hdict/HdictFormat.h"
#include "tools/Dict.h"
#include "tools/ObjectModel3d.h"

using namespace HalconCpp;

IX_SEEDS(hdict) {
    HTuple root, inner, matrix;
    CreateDict(&root);
    CreateDict(&inner);
    CreateMatrix(2, 2, 1.5, &matrix);
    HObject image, region, reduced;
    GenImageConst(&image, "byte", 4, 3);
    GenRectangle1(&region, 0, 1, 1, 2);
    ReduceDomain(image, region, &reduced);
    add(ixv::formats::hdict::encode(root[0].H()));
    SetDictTuple(inner, 3, HTuple("text").Append(2.5).Append(HTuple(HHandle())));
    SetDictTuple(root, "ints", HTuple(Hlong{1}).Append(Hlong{2}));
    SetDictTuple(root, "reals", HTuple(0.5).Append(-1.0));
    SetDictTuple(root, -4, HTuple(inner).Append(matrix).Append(HTuple(ixv::handleOf(ixseeds::modelOfEveryField()))));
    SetDictObject(reduced.ConcatObj(region), root, "objects");
    add(ixv::formats::hdict::encode(root[0].H()));
    add(ixtest::hdict::nested(6));
}
