// The vendor interface as the adapter uses it, declarations only: of the
// classes, members and operators listed in the boundary document
// (vision-api.md), those the adapter calls, nothing of the embedded library. The adapter's
// sources are compiled against this header (-fsyntax-only, IX_VISION_HALCON=1)
// so that a call the vendor's headers would not offer fails our build, not
// the first build against the vendor library.
#pragma once

#include <cstddef>
#include <cstdint>

// The vendor's basic C types, global as in the embedded library.
typedef long Hlong;
typedef uint32_t Herror;

namespace HalconCpp {

class HString {
public:
    HString();
    HString(const char* text);
    HString(const HString&);
    HString& operator=(const HString&);
    ~HString();
    const char* TextA() const;
    size_t LengthA() const;
};

class HException {
public:
    HException(const HException&);
    ~HException();
    const HString& ErrorMessage() const;
};

class HHandle {
public:
    HHandle();
    HHandle(const HHandle&);
    HHandle& operator=(const HHandle&);
    virtual ~HHandle();
    bool IsInitialized() const;
};

class HTupleElement {
public:
    int I() const;
    Hlong L() const;
    double D() const;
    HString S() const;
    HHandle H() const;
    const char* C() const;
};

class HTuple {
public:
    HTuple();
    HTuple(int);
    HTuple(Hlong);
    HTuple(double);
    HTuple(const char*);
    HTuple(const HString&);
    HTuple(const HHandle&);
    HTuple(const HTupleElement&);
    HTuple(const HTuple&);
    HTuple& operator=(const HTuple&);
    ~HTuple();
    Hlong Length() const;
    HTuple& Append(const HTuple&);
    HTupleElement operator[](Hlong);
    const HTupleElement operator[](Hlong) const;
    HTuple TupleIsIntElem() const;
    HTuple TupleIsStringElem() const;
    HTuple TupleIsHandleElem() const;
    HTuple TupleSemType() const;
    HTuple TupleSemTypeElem() const;
};


class HObject {
public:
    HObject();
    HObject(const HObject&);
    HObject& operator=(const HObject&);
    virtual ~HObject();
    HObject SelectObj(Hlong Index) const;
    HTuple GetObjClass() const;
};

class HImage : public HObject {
public:
    HImage();
    HImage(const HObject&);
    void* GetImagePointer1(HString* Type, Hlong* Width, Hlong* Height) const;
    void* GetImagePointer1Rect(Hlong* Width, Hlong* Height, Hlong* VerticalPitch, Hlong* HorizontalBitPitch,
                               Hlong* BitsPerPixel) const;
    HTuple CountChannels() const;
    HTuple Width() const;
    HTuple Height() const;
    HImage ConvertImageType(const char* NewType) const;
    HImage ScaleImageMax() const;
    HImage InterleaveChannels(const char* PixelFormat, const char* RowBytes, Hlong Alpha) const;
};

class HDict : public HHandle {
public:
    HDict();
    HDict(const HHandle&);
    void ReadDict(const HString& FileName, const HTuple& GenParamName, const HTuple& GenParamValue);
    void WriteDict(const HString& FileName, const HTuple& GenParamName, const HTuple& GenParamValue) const;
    HTuple GetDictParam(const HString& GenParamName, const HTuple& Key) const;
    HTuple GetDictTuple(const HTuple& Key) const;
    HObject GetDictObject(const HTuple& Key) const;
};

class HDlModel : public HHandle {
public:
    HDlModel();
    void ReadDlModel(const HString& FileName);
};

void SetSystem(const HTuple& SystemParameter, const HTuple& Value);
void GetSystem(const HTuple& Query, HTuple* Information);
void ReadObject(HObject* Object, const HTuple& FileName);
void ReadImage(HObject* Image, const HTuple& FileName);
void WriteObject(const HObject& Object, const HTuple& FileName);
void WriteImage(const HObject& Image, const HTuple& Format, const HTuple& FillColor, const HTuple& FileName);
void WriteContourXldDxf(const HObject& Contours, const HTuple& FileName);
void WritePolygonXldDxf(const HObject& Polygons, const HTuple& FileName);
void ReadObjectModel3d(const HTuple& FileName, const HTuple& Scale, const HTuple& GenParamName,
                       const HTuple& GenParamValue, HTuple* ObjectModel3D, HTuple* Status);
void CountObj(const HObject& Objects, HTuple* Number);
void ConcatObj(const HObject& Objects1, const HObject& Objects2, HObject* ObjectsConcat);
void AreaCenter(const HObject& Regions, HTuple* Area, HTuple* Row, HTuple* Column);
void GetRegionRuns(const HObject& Region, HTuple* Row, HTuple* ColumnBegin, HTuple* ColumnEnd);
void RegionToBin(const HObject& Region, HObject* BinImage, const HTuple& ForegroundGray,
                 const HTuple& BackgroundGray, const HTuple& Width, const HTuple& Height);
void GetDomain(const HObject& Image, HObject* Domain);
void Decompose3(const HObject& MultiChannelImage, HObject* Image1, HObject* Image2, HObject* Image3);
void Decompose4(const HObject& MultiChannelImage, HObject* Image1, HObject* Image2, HObject* Image3, HObject* Image4);
void Compose4(const HObject& Image1, const HObject& Image2, const HObject& Image3, const HObject& Image4,
              HObject* MultiChannelImage);
void GetContourXld(const HObject& Contour, HTuple* Row, HTuple* Col);
void GetPolygonXld(const HObject& Polygon, HTuple* Row, HTuple* Col, HTuple* Length, HTuple* Phi);
void GetParallelsXld(const HObject& Parallels, HTuple* Row1, HTuple* Col1, HTuple* Length1, HTuple* Phi1,
                     HTuple* Row2, HTuple* Col2, HTuple* Length2, HTuple* Phi2);
void LengthXld(const HObject& XLD, HTuple* Length);
void TupleSemType(const HTuple& T, HTuple* SemType);
void GetHandleParam(const HTuple& Handle, const HTuple& GenParamName, const HTuple& Key, HTuple* GenParamValue);
void GetHandleTuple(const HTuple& Handle, const HTuple& Key, HTuple* Tuple);
void GetHandleObject(HObject* Object, const HTuple& Handle, const HTuple& Key);
void GetSizeMatrix(const HTuple& MatrixID, HTuple* Rows, HTuple* Columns);
void GetFullMatrix(const HTuple& MatrixID, HTuple* Values);
void GetObjectModel3dParams(const HTuple& ObjectModel3D, const HTuple& GenParamName, HTuple* GenParamValue);

}  // namespace HalconCpp
