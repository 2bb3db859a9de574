// Operators of the embedded vision library, with the vendor's signatures.
#pragma once

#include "HObject.h"
#include "HTuple.h"

namespace HalconCpp {

// System settings.
void SetSystem(const HTuple& SystemParameter, const HTuple& Value);
void GetSystem(const HTuple& Query, HTuple* Information);

// Tuples.
void TupleSemType(const HTuple& T, HTuple* SemType);
void TupleSemTypeElem(const HTuple& T, HTuple* SemTypes);
void TupleIsIntElem(const HTuple& T, HTuple* IsInt);
void TupleIsStringElem(const HTuple& T, HTuple* IsString);
void TupleIsHandleElem(const HTuple& T, HTuple* IsHandle);

// Object sets.
void GenEmptyObj(HObject* EmptyObject);
void CountObj(const HObject& Objects, HTuple* Number);
void ConcatObj(const HObject& Objects1, const HObject& Objects2, HObject* ObjectsConcat);

}  // namespace HalconCpp
