// Operators of the embedded vision library, with the vendor's signatures.
#pragma once

#include "HObject.h"
#include "HTuple.h"

namespace HalconCpp {

// System settings.
void SetSystem(const HTuple& SystemParameter, const HTuple& Value);
void GetSystem(const HTuple& Query, HTuple* Information);

// Files.
void ReadObject(HObject* Object, const HTuple& FileName);
void ReadImage(HObject* Image, const HTuple& FileName);
void WriteObject(const HObject& Object, const HTuple& FileName);
void WriteImage(const HObject& Image, const HTuple& Format, const HTuple& FillColor, const HTuple& FileName);
void WriteContourXldDxf(const HObject& Contours, const HTuple& FileName);
void WritePolygonXldDxf(const HObject& Polygons, const HTuple& FileName);

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

// Images.
void GenImageConst(HObject* Image, const HTuple& Type, const HTuple& Width, const HTuple& Height);
void GenImage1(HObject* Image, const HTuple& Type, const HTuple& Width, const HTuple& Height,
               const HTuple& PixelPointer);
void GenImage3(HObject* ImageRGB, const HTuple& Type, const HTuple& Width, const HTuple& Height,
               const HTuple& PixelPointerRed, const HTuple& PixelPointerGreen, const HTuple& PixelPointerBlue);
void Compose3(const HObject& Image1, const HObject& Image2, const HObject& Image3, HObject* MultiChannelImage);
void Compose4(const HObject& Image1, const HObject& Image2, const HObject& Image3, const HObject& Image4,
              HObject* MultiChannelImage);
void Decompose3(const HObject& MultiChannelImage, HObject* Image1, HObject* Image2, HObject* Image3);
void Decompose4(const HObject& MultiChannelImage, HObject* Image1, HObject* Image2, HObject* Image3, HObject* Image4);
void ReduceDomain(const HObject& Image, const HObject& Region, HObject* ImageReduced);
void GetDomain(const HObject& Image, HObject* Domain);

// Regions.
void GenEmptyRegion(HObject* EmptyRegion);
void GenRectangle1(HObject* Rectangle, const HTuple& Row1, const HTuple& Column1, const HTuple& Row2,
                   const HTuple& Column2);
void GenCircle(HObject* Circle, const HTuple& Row, const HTuple& Column, const HTuple& Radius);
void GenRegionRuns(HObject* Region, const HTuple& Row, const HTuple& ColumnBegin, const HTuple& ColumnEnd);
void GenRegionPoints(HObject* Region, const HTuple& Rows, const HTuple& Columns);
void AreaCenter(const HObject& Regions, HTuple* Area, HTuple* Row, HTuple* Column);
void GetRegionRuns(const HObject& Region, HTuple* Row, HTuple* ColumnBegin, HTuple* ColumnEnd);
void RegionToBin(const HObject& Region, HObject* BinImage, const HTuple& ForegroundGray,
                 const HTuple& BackgroundGray, const HTuple& Width, const HTuple& Height);

// XLD.
void GenContourPolygonXld(HObject* Contour, const HTuple& Row, const HTuple& Col);
void GenPolygonsXld(const HObject& Contours, HObject* Polygons, const HTuple& Type, const HTuple& Alpha);
void GenParallelsXld(const HObject& Polygons, HObject* Parallels, const HTuple& Len, const HTuple& Dist,
                     const HTuple& Alpha, const HTuple& Merge);
void GetContourXld(const HObject& Contour, HTuple* Row, HTuple* Col);
void GetPolygonXld(const HObject& Polygon, HTuple* Row, HTuple* Col, HTuple* Length, HTuple* Phi);
void GetParallelsXld(const HObject& Parallels, HTuple* Row1, HTuple* Col1, HTuple* Length1, HTuple* Phi1,
                     HTuple* Row2, HTuple* Col2, HTuple* Length2, HTuple* Phi2);
void LengthXld(const HObject& XLD, HTuple* Length);

// Handles: dictionaries, matrices, 3D object models, and what every handle answers.
void CreateDict(HTuple* DictHandle);
void SetDictTuple(const HTuple& DictHandle, const HTuple& Key, const HTuple& Tuple);
void SetDictObject(const HObject& Object, const HTuple& DictHandle, const HTuple& Key);
void ReadDict(const HTuple& FileName, const HTuple& GenParamName, const HTuple& GenParamValue, HTuple* DictHandle);
void WriteDict(const HTuple& DictHandle, const HTuple& FileName, const HTuple& GenParamName,
               const HTuple& GenParamValue);
void CreateMatrix(const HTuple& Rows, const HTuple& Columns, const HTuple& Value, HTuple* MatrixID);
void SetFullMatrix(const HTuple& MatrixID, const HTuple& Values);
void GetSizeMatrix(const HTuple& MatrixID, HTuple* Rows, HTuple* Columns);
void GetFullMatrix(const HTuple& MatrixID, HTuple* Values);
void GenObjectModel3dFromPoints(const HTuple& X, const HTuple& Y, const HTuple& Z, HTuple* ObjectModel3D);
void GetObjectModel3dParams(const HTuple& ObjectModel3D, const HTuple& GenParamName, HTuple* GenParamValue);
void ReadObjectModel3d(const HTuple& FileName, const HTuple& Scale, const HTuple& GenParamName,
                       const HTuple& GenParamValue, HTuple* ObjectModel3D, HTuple* Status);
void WriteObjectModel3d(const HTuple& ObjectModel3D, const HTuple& FileType, const HTuple& FileName,
                        const HTuple& GenParamName, const HTuple& GenParamValue);
void GetHandleParam(const HTuple& Handle, const HTuple& GenParamName, const HTuple& Key, HTuple* GenParamValue);
void GetHandleTuple(const HTuple& Handle, const HTuple& Key, HTuple* Tuple);
void GetHandleObject(HObject* Object, const HTuple& Handle, const HTuple& Key);
void ClearHandle(const HTuple& Handle);

// Deep-learning models (ONNX files).
void ReadDlModel(const HTuple& FileName, HTuple* DLModelHandle);
void GetDlModelParam(const HTuple& DLModelHandle, const HTuple& GenParamName, HTuple* GenParamValue);

}  // namespace HalconCpp
