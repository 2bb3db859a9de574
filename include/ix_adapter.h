/*
 * ixadapter: open machine-vision data files (iconic objects, images, image
 * sequences, dictionaries, deep-learning models, 3D object models) and browse
 * them as a tree of nodes.
 *
 * Conventions of every function below:
 * - Strings are NUL-terminated wchar_t strings (UTF-32 on Linux), in and out.
 * - Booleans and success flags are int32_t 0 or 1; counts and indexes are int32_t,
 *   indexes 0-based.
 * - A null argument, or an index outside its list, gives a neutral result at once:
 *   0, 0.0, a null pointer or an empty string (the exceptions are stated).
 * - No function reports errors by return code. A function that takes a reader
 *   handle and can fail empties the handle's last error first and leaves a message
 *   there on failure; read it with ix_reader_last_error.
 * - The library frees what it hands out; the host frees nothing except the buffers
 *   of the extraction functions, each with its ix_free_ function.
 * - Threads: a reader handle's loads, saves and conversions run on one thread at
 *   a time. The tree a load returned may be read from any number of threads at
 *   once (the node functions, full value texts, extraction) while no load or
 *   ix_reader_destroy runs on its handle: children built on first access are
 *   built once and never freed or changed while the tree lives. A function
 *   that takes a reader handle leaves its text or message on that handle, so
 *   threads reading one tree at once each pass a handle of their own (any
 *   handle will do; the node need not come from it). Separate handles may be
 *   used from separate threads.
 */
#ifndef IX_ADAPTER_H
#define IX_ADAPTER_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#if defined(IX_ADAPTER_BUILD)
#define IX_API __attribute__((visibility("default")))
#else
#define IX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Types                                                                     */
/* ------------------------------------------------------------------------ */

/* A reader: holds the tree of its last load, its last error text, and the
 * text of its last ix_node_full_value_text call. Opaque to the host. */
typedef struct ReaderHandle ReaderHandle;

/* One node of a tree. Opaque to the host; read it with the ix_node_ functions. */
typedef struct NativeNode NativeNode;

/* The enumerations are 32-bit values. C++ hosts get scoped enumerations with
 * the names below; C hosts get the same values as IX_-prefixed constants. */
#ifdef __cplusplus
} /* extern "C" */

/* What a node stands for (ix_node_kind). */
enum class IxNodeKind : int32_t {
    Container = 0, /* groups children, holds no values: a dictionary, a file, a handle */
    Array = 1,     /* a tuple shown element by element */
    Value = 2,     /* a leaf with plain values */
    Object = 3     /* one vision-library object: iconic objects or a handle shown whole */
};

/* How a node is addressed inside its parent (ix_node_path_segment_kind). */
enum class IxPathSegmentKind : int32_t {
    Name = 0, /* by its label */
    Index = 1 /* by its 0-based position, ix_node_path_index */
};

/* Which field of a value carries it (ix_node_value_type_at, IxJsonParam.type). */
enum class IxValueType : int32_t {
    String = 0,
    Integer = 1,
    Real = 2
};

/* The reading option that an IxJsonParam sets. */
enum class IxJsonParamKey : uint32_t {
    JsonValueTrue = 0,      /* "json_value_true": the value that JSON true becomes */
    JsonValueFalse = 1,     /* "json_value_false": the value that JSON false becomes */
    JsonValueNull = 2,      /* "json_value_null": the value that JSON null becomes */
    ConvertJsonArraysTo = 3 /* "convert_json_arrays_to": "dict" or "tuple" */
};

/* The layout of an extracted image's pixels (ix_extract_image). */
enum class IxPixelFormat : int32_t {
    Gray = 0, /* 1 byte per pixel */
    Bgr = 1,  /* 3 bytes per pixel: blue, green, red */
    Bgra = 2  /* 4 bytes per pixel: blue, green, red, alpha */
};

/* Which load read a file (ix_reader_last_load_kind). */
enum class IxLoadKind : int32_t {
    None = 0,         /* no load yet */
    Object = 1,       /* ix_reader_parse_object_file: object, image or sequence file */
    Dict = 2,         /* ix_reader_parse_file: dictionary file */
    DlModel = 3,      /* ix_reader_parse_dl_model_file */
    ObjectModel3d = 4 /* ix_reader_parse_object_model_3d_file */
};

/* An image's own pixel type (IxImageInfo.pixelType); the C type of one value
 * in ix_extract_image_values follows each name. */
enum class IxPixelType : int32_t {
    None = 0,
    Byte = 1,       /* uint8_t */
    Int1 = 2,       /* int8_t */
    Uint2 = 3,      /* uint16_t */
    Int2 = 4,       /* int16_t */
    Int4 = 5,       /* int32_t */
    Int8 = 6,       /* int64_t */
    Real = 7,       /* float */
    Complex = 8,    /* two floats: real part, imaginary part */
    Direction = 9,  /* uint8_t: the direction in units of 2 degrees, 255 for none */
    Cyclic = 10,    /* uint8_t: a value of 0..255 that wraps around */
    VectorField = 11 /* two floats per pixel; described, its values not handed out */
};

extern "C" {
#else
typedef int32_t IxLoadKind;
typedef int32_t IxPixelType;
typedef int32_t IxPixelFormat;
typedef int32_t IxNodeKind;
typedef int32_t IxPathSegmentKind;
typedef int32_t IxValueType;
typedef uint32_t IxJsonParamKey;
#endif

enum {
    IX_NODE_CONTAINER = 0,
    IX_NODE_ARRAY = 1,
    IX_NODE_VALUE = 2,
    IX_NODE_OBJECT = 3,

    IX_PATH_NAME = 0,
    IX_PATH_INDEX = 1,

    IX_VALUE_STRING = 0,
    IX_VALUE_INTEGER = 1,
    IX_VALUE_REAL = 2,

    IX_JSON_VALUE_TRUE = 0,
    IX_JSON_VALUE_FALSE = 1,
    IX_JSON_VALUE_NULL = 2,
    IX_JSON_CONVERT_ARRAYS_TO = 3,

    IX_PIXEL_GRAY = 0,
    IX_PIXEL_BGR = 1,
    IX_PIXEL_BGRA = 2,

    IX_LOAD_NONE = 0,
    IX_LOAD_OBJECT = 1,
    IX_LOAD_DICT = 2,
    IX_LOAD_DLMODEL = 3,
    IX_LOAD_OM3D = 4,

    IX_PIXEL_TYPE_NONE = 0,
    IX_PIXEL_TYPE_BYTE = 1,
    IX_PIXEL_TYPE_INT1 = 2,
    IX_PIXEL_TYPE_UINT2 = 3,
    IX_PIXEL_TYPE_INT2 = 4,
    IX_PIXEL_TYPE_INT4 = 5,
    IX_PIXEL_TYPE_INT8 = 6,
    IX_PIXEL_TYPE_REAL = 7,
    IX_PIXEL_TYPE_COMPLEX = 8,
    IX_PIXEL_TYPE_DIRECTION = 9,
    IX_PIXEL_TYPE_CYCLIC = 10,
    IX_PIXEL_TYPE_VECTOR_FIELD = 11
};

/* One reading option for ix_reader_parse_file_with_options, 32 bytes. Only the
 * field that `type` names is read; a null `text` counts as the empty string. */
typedef struct IxJsonParam {
    IxJsonParamKey key;   /* offset 0 */
    IxValueType type;     /* offset 4 */
    const wchar_t* text;  /* offset 8 */
    int64_t intValue;     /* offset 16 */
    double realValue;     /* offset 24 */
} IxJsonParam;

#ifdef __cplusplus
static_assert(sizeof(IxJsonParam) == 32, "IxJsonParam is 32 bytes");
static_assert(offsetof(IxJsonParam, key) == 0, "IxJsonParam.key at 0");
static_assert(offsetof(IxJsonParam, type) == 4, "IxJsonParam.type at 4");
static_assert(offsetof(IxJsonParam, text) == 8, "IxJsonParam.text at 8");
static_assert(offsetof(IxJsonParam, intValue) == 16, "IxJsonParam.intValue at 16");
static_assert(offsetof(IxJsonParam, realValue) == 24, "IxJsonParam.realValue at 24");
#else
_Static_assert(sizeof(IxJsonParam) == 32, "IxJsonParam is 32 bytes");
_Static_assert(offsetof(IxJsonParam, key) == 0, "IxJsonParam.key at 0");
_Static_assert(offsetof(IxJsonParam, type) == 4, "IxJsonParam.type at 4");
_Static_assert(offsetof(IxJsonParam, text) == 8, "IxJsonParam.text at 8");
_Static_assert(offsetof(IxJsonParam, intValue) == 16, "IxJsonParam.intValue at 16");
_Static_assert(offsetof(IxJsonParam, realValue) == 24, "IxJsonParam.realValue at 24");
#endif

/* What an image is in its own pixel type (ix_image_info), 24 bytes. */
typedef struct IxImageInfo {
    IxPixelType pixelType; /* offset 0 */
    int32_t width;         /* offset 4 */
    int32_t height;        /* offset 8 */
    int32_t channels;      /* offset 12 */
    int32_t bytesPerValue; /* offset 16: one pixel of one channel (1, 2, 4 or 8) */
    int32_t domainIsFull;  /* offset 20: 1 when the domain is the whole image */
} IxImageInfo;

#ifdef __cplusplus
static_assert(sizeof(IxImageInfo) == 24, "IxImageInfo is 24 bytes");
static_assert(offsetof(IxImageInfo, channels) == 12, "IxImageInfo.channels at 12");
static_assert(offsetof(IxImageInfo, domainIsFull) == 20, "IxImageInfo.domainIsFull at 20");
#else
_Static_assert(sizeof(IxImageInfo) == 24, "IxImageInfo is 24 bytes");
_Static_assert(offsetof(IxImageInfo, channels) == 12, "IxImageInfo.channels at 12");
_Static_assert(offsetof(IxImageInfo, domainIsFull) == 20, "IxImageInfo.domainIsFull at 20");
#endif

/* ------------------------------------------------------------------------ */
/* Reader handle, error text, version                                        */
/* ------------------------------------------------------------------------ */

/* Creates a reader with no tree. The host owns it and gives it back with
 * ix_reader_destroy; null only when memory runs out. */
IX_API ReaderHandle* ix_reader_create(void);

/* Destroys a reader with its tree and strings; every pointer obtained through
 * it becomes invalid. A null handle does nothing. */
IX_API void ix_reader_destroy(ReaderHandle* handle);

/* The message of the last failed operation on the handle, empty after a
 * successful one. Owned by the handle; valid until the next operation on it that
 * empties or sets the message (loads, conversion, extraction, saving), or until
 * ix_reader_destroy. */
IX_API const wchar_t* ix_reader_last_error(const ReaderHandle* handle);

/* The version text of the vision library, "unknown" when it tells none. Owned
 * by the library; the same address on every call, valid until the library is
 * unloaded. */
IX_API const wchar_t* ix_adapter_halcon_version(void);

/* ------------------------------------------------------------------------ */
/* Loading. Each load function replaces the handle's tree, whatever its       */
/* outcome: a failed load leaves no tree and the message in the last error.   */
/* With a null handle or path it does nothing and returns null.               */
/* ------------------------------------------------------------------------ */

/* Loads an object file (".hobj"), a sequence file (".seq", a text file naming
 * one image file per line) or an image file (any other suffix) and returns the
 * root: a "file" node with one child per object. Owned by the handle; valid
 * until the next load on it or ix_reader_destroy. Null on failure. */
IX_API const NativeNode* ix_reader_parse_object_file(ReaderHandle* handle, const wchar_t* path);

/* Loads a dictionary file (the library recognises JSON and its binary
 * dictionary format from the content; the suffix is not looked at) with the
 * default reading and returns the root: a "dict" node with one child per key.
 * A key's child is a nested "dict", a tuple (a Value node, or an Array node
 * when handles are among its elements), a matrix or 3D object model node, or
 * an iconic object node. A key that cannot be read shows as an "<error>"
 * child whose summary is the message. Owned by the handle; valid until the
 * next load on it or ix_reader_destroy. Null on failure.
 *
 * The children of every dictionary and array, the root's included, are
 * built when they are first asked for (ix_node_child_at), 256 at a time, so
 * a load costs the file's reading however many entries it holds. The nodes
 * are those a host walking the whole tree sees, in whatever order it asks.
 *
 * What the whole tree would cost if every node were built is counted at load
 * against the file's allowance (64 MiB plus 64 bytes per byte of the file):
 * a file whose tree would exceed it is refused with a message saying it
 * "exceeds the limit", so no later first access runs out of room.
 * Dictionaries nest at most 512 levels deep, counted along the path through
 * tuples and arrays; a deeper one (a dictionary that contains itself
 * included) is an Object node of class "dict" with the summary "max nesting
 * depth reached". Handles other than dictionaries nest at most 33 levels,
 * shown the same way. */
IX_API const NativeNode* ix_reader_parse_file(ReaderHandle* handle, const wchar_t* path);

/* As ix_reader_parse_file, with `count` reading options from `params`, passed
 * in order as the generic parameters of the dictionary reading (an unknown
 * key as the empty name, an unknown type as a name without a value). The
 * records and their texts are read during the call only, never kept. A null
 * `params` or a `count` below 1 reads with the defaults. */
IX_API const NativeNode* ix_reader_parse_file_with_options(ReaderHandle* handle, const wchar_t* path,
                                                           const IxJsonParam* params, int32_t count);

/* Loads a deep-learning model file (ONNX with the embedded vision library):
 * a root for the model's handle, with one child per key ("type",
 * "opset_version", "inputs", "outputs", "num_trainable_params", "meta_data",
 * ...). Tensor payloads are not read: a model of gigabytes opens at once.
 * Null with the message in the last error when the file cannot be read. */
IX_API const NativeNode* ix_reader_parse_dl_model_file(ReaderHandle* handle, const wchar_t* path);

/* Loads a 3D object model file (PLY, OFF, STL, OBJ or the embedded .om3),
 * read in metres: a root for the model's handle, with one child per
 * parameter that applies ("num_points", "center", "bounding_box1",
 * "point_coord_x", ...). Null with the message in the last error when the
 * file cannot be read. */
IX_API const NativeNode* ix_reader_parse_object_model_3d_file(ReaderHandle* handle, const wchar_t* path);

/* Loads any file the library reads, with the load function its content calls
 * for: images (PNG, JPEG, TIFF, BMP, PNM) and object files as
 * ix_reader_parse_object_file, dictionary files (binary or JSON) as
 * ix_reader_parse_file_with_options with `params` and `count` passed on (and
 * ignored for other kinds), ONNX models as ix_reader_parse_dl_model_file,
 * PLY, OFF and .om3 files as ix_reader_parse_object_model_3d_file. A file
 * whose first bytes tell nothing is chosen by its suffix (any case): ".seq"
 * a sequence file, ".hobj" an object file, ".hdict"/".json" a dictionary,
 * ".hdl"/".onnx" a model, ".obj"/".stl"/".ply"/".off"/".om3" a 3D object
 * model, anything else an image file. The root is owned by the handle as
 * that load's; null on failure with the message in the last error. */
IX_API const NativeNode* ix_reader_parse_any_file(ReaderHandle* handle, const wchar_t* path,
                                                  const IxJsonParam* params, int32_t count);

/* Which load the handle's last load ran, whether or not it succeeded (for
 * ix_reader_parse_any_file: the one it chose); IX_LOAD_NONE for a null handle
 * and before the first load. Does not touch the last error. */
IX_API IxLoadKind ix_reader_last_load_kind(const ReaderHandle* handle);

/* Reads the dictionary file `inputPath` and writes it to `outputPath`, as
 * JSON when that path ends in ".json" (any case), else in the binary
 * dictionary format. With a non-zero `ignoreNonSerializable`, content the
 * output format cannot hold is left out (JSON) or written empty (binary)
 * instead of failing. Returns 1 on success; 0 on failure with the message
 * in the last error. A null handle or path returns 0 and leaves the last
 * error as it was. The handle's tree is not touched: its nodes stay valid. */
IX_API int32_t ix_reader_convert_dict_file(ReaderHandle* handle, const wchar_t* inputPath,
                                           const wchar_t* outputPath, int32_t ignoreNonSerializable);

/* ------------------------------------------------------------------------ */
/* Node inspection. A node, and every string it returns, is owned by the      */
/* reader handle whose load produced it and stays valid until the next load   */
/* on that handle or ix_reader_destroy. The empty string returned for a null  */
/* node or a bad index is owned by the library and never freed.               */
/*                                                                            */
/* Labels, type labels, summaries, detail lines, object classes and full      */
/* value texts are one line each: a control character (C0, DEL, C1) or        */
/* U+2028/U+2029 in a key or string shows as an escape, "\n", "\r", "\t",  */
/* else "\u" with four upper-case hex digits ("\u001B"). Only               */
/* ix_node_value_string_at gives a string as it is stored. A NUL inside a key */
/* or string shows as "\u0000" in every text, that one included.             */
/* ------------------------------------------------------------------------ */

/* The node's display name inside its parent; empty on roots. Owned by the node. */
IX_API const wchar_t* ix_node_label(const NativeNode* node);

/* What the node stands for; 0 (Container) for a null node. */
IX_API IxNodeKind ix_node_kind(const NativeNode* node);

/* Short type text shown beside the label ("dict", "file", "image", ...). Owned by the node. */
IX_API const wchar_t* ix_node_type_label(const NativeNode* node);

/* One-line description of the node's value. Owned by the node. */
IX_API const wchar_t* ix_node_value_summary(const NativeNode* node);

/* How the node is addressed inside its parent; 0 (Name) for a null node. */
IX_API IxPathSegmentKind ix_node_path_segment_kind(const NativeNode* node);

/* The node's 0-based position inside its parent when addressed by index, else 0. */
IX_API int32_t ix_node_path_index(const NativeNode* node);

/* The number of children. Children of dictionaries and arrays are built when
 * first asked for (see ix_reader_parse_file); the count costs nothing. */
IX_API int32_t ix_node_child_count(const NativeNode* node);

/* The child at `index`, or null outside 0..count-1. Owned by the tree (see
 * above). The first access to a child of a dictionary or array builds it with
 * its neighbours (256 at a time); null should that find no memory, and the
 * next access tries again. */
IX_API const NativeNode* ix_node_child_at(const NativeNode* node, int32_t index);

/* The node's segment of its path inside its parent, escaped so that every
 * node has one path and every path names one node; empty on roots. A path
 * is "/" and the segments from the root joined by "/" ("/inputs/[0]/name");
 * the root's path is "/". Owned by the node (see above).
 * - An element of a tuple or an object of a file: "[index]".
 * - A string key: its text, with "%" written "%25", "/" "%2F", each byte of a
 *   control character (C0, DEL, C1, U+2028, U+2029: a NUL "%00", ESC "%1B"), and each byte of the key that is not part of valid
 *   UTF-8 "%XX" (two upper-case hex digits); the empty key is a lone "%".
 * - An integer key: its decimal text ("7", "-2"), or "%i7" when the same
 *   dictionary also holds the string key "7". */
IX_API const wchar_t* ix_node_path_segment(const NativeNode* node);

/* The node at `path` below `root` (a path as ix_node_path_segment describes
 * it; "" and "/" name `root` itself), or null when no node has that path or
 * an argument is null. Only the exact text a node's segments make names it:
 * "7" names the string key "7" if there is one, else the integer key 7, and
 * "%i7" only the integer key when both are there. Children on the way are
 * built as ix_node_child_at builds them; a key is found by comparing the
 * dictionary's keys, building no other child. May be called from any thread,
 * as ix_node_child_at. */
IX_API const NativeNode* ix_node_at_path(const NativeNode* root, const wchar_t* path);

/* The number of values the node holds (at most 1000), not the source's length. */
IX_API int32_t ix_node_value_count(const NativeNode* node);

/* The number of elements of the node's source; may exceed ix_node_value_count. */
IX_API int32_t ix_node_total_count(const NativeNode* node);

/* 1 when the node holds fewer values than its source has. */
IX_API int32_t ix_node_truncated(const NativeNode* node);

/* The type of the value at `index`; 0 (String) for a null node or a bad index. */
IX_API IxValueType ix_node_value_type_at(const NativeNode* node, int32_t index);

/* The text of the value at `index` (empty unless its type is String), as
 * stored: control characters kept, a NUL as "\u0000". Owned by the node. */
IX_API const wchar_t* ix_node_value_string_at(const NativeNode* node, int32_t index);

/* The integer of the value at `index` (0 unless its type is Integer). */
IX_API int64_t ix_node_value_int_at(const NativeNode* node, int32_t index);

/* The real of the value at `index` (0.0 unless its type is Real). */
IX_API double ix_node_value_real_at(const NativeNode* node, int32_t index);

/* Every value of a Value node's source, untruncated ("[1, 2, 3]"); empty for
 * other kinds. Owned by the handle; valid until the next call of this function
 * with the same handle, or ix_reader_destroy. Does not touch the last error. */
IX_API const wchar_t* ix_node_full_value_text(ReaderHandle* handle, const NativeNode* node);

/* The class of the object behind an Object node ("image", "region", "mixed",
 * a handle type, ...). Owned by the node. */
IX_API const wchar_t* ix_node_object_class(const NativeNode* node);

/* 1 when the first iconic object of the node is an image. */
IX_API int32_t ix_node_is_image(const NativeNode* node);

/* The number of iconic objects behind the node; 1 for a null node and for
 * nodes that are not iconic objects. */
IX_API int32_t ix_node_object_count(const NativeNode* node);

/* The number of detail lines shown under the node. */
IX_API int32_t ix_node_detail_line_count(const NativeNode* node);

/* The detail line at `index`. Owned by the node. */
IX_API const wchar_t* ix_node_detail_line_at(const NativeNode* node, int32_t index);

/* The number of source entries that the detail lines describe. */
IX_API int32_t ix_node_detail_entry_count(const NativeNode* node);

/* ------------------------------------------------------------------------ */
/* Pixels                                                                     */
/* ------------------------------------------------------------------------ */

/* The pixels of image `index` (0-based) of an Object node, as bytes ready to
 * draw: Gray for a one-channel image whose domain is the whole image, Bgr for
 * such a three-channel image, Bgra for four channels and for one or three
 * channels with a smaller domain (alpha 255 inside the domain, 0 outside).
 * Images of other pixel types are first spread over 0..255 by their minimum and
 * maximum. Rows run top down, each `*outRowBytes` long; the buffer holds
 * `*outHeight` x `*outRowBytes` bytes, is owned by the host and released with
 * ix_free_buffer. Returns 1, or 0 with `*outPixels` null (and the library's
 * message in the last error when it raised one; none for a node or index that
 * holds no image, or an image of 2 or more than 4 channels). */
IX_API int32_t ix_extract_image(ReaderHandle* handle, const NativeNode* node, int32_t index, int32_t* outWidth,
                                int32_t* outHeight, int32_t* outRowBytes, int32_t* outPixelFormat,
                                uint8_t** outPixels);

/* The channel count of image `index` of an Object node holding images, or -1
 * (with the library's message in the last error when it raised one). */
IX_API int32_t ix_node_image_channel_count(ReaderHandle* handle, const NativeNode* node, int32_t index);

/* Image `index` of an Object node as it is: its own pixel type, size,
 * channel count, bytes per value and whether its domain is the whole image,
 * into `*out`. Returns 1, or 0 with `*out` zeroed (and the library's message
 * in the last error when it raised one; none for a node or index that holds
 * no image). */
IX_API int32_t ix_image_info(ReaderHandle* handle, const NativeNode* node, int32_t index, IxImageInfo* out);

/* The values of image `index` of an Object node in its own pixel type, every
 * pixel whatever the domain: channel by channel, each `height` rows of `width`
 * values, of the C type IxPixelType names, in the machine's byte order
 * (channels x height x width x bytesPerValue bytes). `*outInfo` describes them
 * as ix_image_info does. The buffer is owned by the host and released with
 * ix_free_buffer. Returns 1, or 0 with `*outValues` null and `*outInfo`
 * zeroed: no message for a node or index without an image; a message for an
 * image of 2 or more than 4 channels and for vector fields, whose values the
 * vision interface does not reach, and the library's for what it raises. */
IX_API int32_t ix_extract_image_values(ReaderHandle* handle, const NativeNode* node, int32_t index,
                                       IxImageInfo* outInfo, uint8_t** outValues);

/* The domain of image `index` of an Object node as runs, laid out as
 * ix_extract_region_runs gives a region's (released with ix_free_int_buffer). */
IX_API int32_t ix_extract_image_domain_runs(ReaderHandle* handle, const NativeNode* node, int32_t index,
                                            int32_t** outRows, int32_t** outColumnBegins,
                                            int32_t** outColumnEnds, int32_t* outCount);

/* Release a buffer the library handed over; a null pointer does nothing. The
 * four are one operation, named for the buffers they are meant for. */
IX_API void ix_free_buffer(uint8_t* buffer);
IX_API void ix_free_int_buffer(int32_t* buffer);
IX_API void ix_free_double_buffer(double* buffer);
IX_API void ix_free_float_buffer(float* buffer);

/* ------------------------------------------------------------------------ */
/* Geometry                                                                   */
/* ------------------------------------------------------------------------ */

/* The geometry of object `index` (0-based) of an Object node, as arrays the
 * host owns: 32-bit integers released with ix_free_int_buffer, doubles with
 * ix_free_double_buffer. Each returns 1, or 0 with every array output null
 * (and the library's message in the last error when it raised one, e.g. for
 * an object of another class; none for a node or index without objects).
 * Geometry without runs or points gives 1, a count of 0 and empty arrays that
 * must still be released. Points are (row, column), subpixel. */

/* A region's runs: row, first column, last column (inclusive) of each. */
IX_API int32_t ix_extract_region_runs(ReaderHandle* handle, const NativeNode* node, int32_t index, int32_t** outRows,
                                      int32_t** outColumnBegins, int32_t** outColumnEnds, int32_t* outCount);

/* A contour's points. */
IX_API int32_t ix_extract_contour_points(ReaderHandle* handle, const NativeNode* node, int32_t index,
                                         double** outRows, double** outCols, int32_t* outCount);

/* A polygon's points. */
IX_API int32_t ix_extract_polygon_points(ReaderHandle* handle, const NativeNode* node, int32_t index,
                                         double** outRows, double** outCols, int32_t* outCount);

/* A parallel's two lines, each with its own count. */
IX_API int32_t ix_extract_parallel_lines(ReaderHandle* handle, const NativeNode* node, int32_t index,
                                         double** outRows1, double** outCols1, int32_t* outCount1,
                                         double** outRows2, double** outCols2, int32_t* outCount2);

/* ------------------------------------------------------------------------ */
/* 3D object models                                                           */
/* ------------------------------------------------------------------------ */

/* The data of the 3D object model of a node holding one (the root of
 * ix_reader_parse_object_model_3d_file, an "object_model_3d" node of a
 * dictionary), complete, in metres, as arrays the host owns: floats released
 * with ix_free_float_buffer, indices with ix_free_int_buffer. Each returns 1,
 * or 0 with every array output null (and the library's message in the last
 * error when it raised one; none for a node that holds no 3D object model).
 * A model without points or faces gives 1, counts of 0 and empty arrays that
 * must still be released. */

/* The points: x, y, z of each, `*outCount` points (3 x count floats). With
 * normals, `*outNormals` holds x, y, z of each point's normal; without,
 * it is null. */
IX_API int32_t ix_extract_model_points(ReaderHandle* handle, const NativeNode* node, float** outPoints,
                                       float** outNormals, int32_t* outCount);

/* The faces: `*outTriangleCount` triangles of three point indices each
 * (`*outTriangles`); `*outPolygonCount` polygons whose point indices lie one
 * after another in `*outPolygonIndices`, polygon k from
 * `(*outPolygonStarts)[k]` up to `(*outPolygonStarts)[k + 1]` (polygons + 1
 * entries; the last is the number of indices). */
IX_API int32_t ix_extract_model_faces(ReaderHandle* handle, const NativeNode* node, int32_t** outTriangles,
                                      int32_t* outTriangleCount, int32_t** outPolygonIndices,
                                      int32_t** outPolygonStarts, int32_t* outPolygonCount);

/* Saving objects. Paths reach the vision library exactly as given; no
 * folder is created. Both return 1 on success and 0 on failure, with the
 * vision library's message in the last error. A null handle, node, array or
 * path, or a count below 1, returns 0 and leaves the last error as it was. */

/* Writes all objects of an Object node to `path`, the writer chosen by the
 * path's suffix (any case): ".hobj" an object file, ".dxf" a DXF file of the
 * node's polygons ("xld_poly") or contours, any other suffix an image file
 * in the format of that name ("jpeg" as "jpg", "tif" as "tiff"); the vision
 * library refuses formats and objects it cannot write. A node that is not an
 * Object node returns 0 with an empty last error. */
IX_API int32_t ix_save_object_as(ReaderHandle* handle, const NativeNode* node, const wchar_t* path);

/* Writes the objects of the first `count` nodes of `nodes`, in order, to one
 * object file at `path`, whatever its suffix. Null entries and nodes that are
 * not Object nodes after the first are skipped; a first entry that is null or
 * not an Object node returns 0 with an empty last error. */
IX_API int32_t ix_save_objects_as(ReaderHandle* handle, const NativeNode* const* nodes, int32_t count,
                                  const wchar_t* path);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* IX_ADAPTER_H */
