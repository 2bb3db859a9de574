// Names the page and the server share, each list at the numbers of the
// library's enum it mirrors (include/ix_adapter.h). The server imports this
// file too, so a kind or an option is named in this one place.

// IxNodeKind: what a node stands for.
export const nodeKinds = Object.freeze(['container', 'array', 'value', 'object']);
export const [CONTAINER, ARRAY, VALUE, OBJECT] = nodeKinds;
export const nodeKindName = (number) => nodeKinds[number] ?? CONTAINER;

// IxLoadKind: which load read a file (0: none yet).
export const loadKinds = Object.freeze([null, 'object', 'dict', 'dlmodel', 'om3d']);
export const [, OBJECT_LOAD, DICT_LOAD] = loadKinds;

// IxJsonParamKey: the reading options of dictionary files.
export const jsonOptionKeys = Object.freeze(['json_value_true', 'json_value_false', 'json_value_null', 'convert_json_arrays_to']);
// The options count for a load by content (it may read a dictionary file) and for a dictionary load.
export const takesJsonOptions = (as) => !as || as === DICT_LOAD;
