#include "HalconCpp.h"
#include "iconic/Iconic.h"
#include "Seeds.h"
#include "formats/hobj/HobjFormat.h"

using namespace HalconCpp;

IX_SEEDS(hobj) {
    HObject image, region, contour, polygon, parallel, reduced, empty;
    GenImageConst(&image, "uint2", 5, 3);
    GenRectangle1(&region, 1, 1, 2, 3);
    ReduceDomain(image, region, &reduced);
    GenContourPolygonXld(&contour, HTuple(0.0).Append(0.0).Append(10.0).Append(10.0),
                         HTuple(0.0).Append(40.0).Append(40.0).Append(0.0));
    GenPolygonsXld(contour, &polygon, "ramer", 0.0);
    GenParallelsXld(polygon, &parallel, 5.0, 20.0, 0.1, "false");
    GenEmptyObj(&empty);
    add(ixv::formats::hobj::encode(ixv::objectsOf(empty)));
    add(ixv::formats::hobj::encode(ixv::objectsOf(image.ConcatObj(reduced))));
    add(ixv::formats::hobj::encode(ixv::objectsOf(region.ConcatObj(contour).ConcatObj(polygon))));
    add(ixv::formats::hobj::encode(ixv::objectsOf(parallel)));
}
