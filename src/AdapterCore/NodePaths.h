// Node paths: "/key/sub/[3]" from a root, one segment per level. Every node
// has one path and every path names one node:
// - an element of a tuple or an object of a file is "[index]";
// - a string key is its text with "%" written "%25", "/" "%2F", NUL "%00",
//   and each byte that is not part of valid UTF-8 "%XX" (upper-case hex);
//   the empty key is a lone "%";
// - an integer key is its decimal text, or "%i" and that text when a string
//   key of the same text is in the same dictionary (a string key's escaped
//   text never starts with "%i", since its "%" is written "%25");
// - a key that is neither (dictionaries hold none) is the escaped text of its
//   label, and a key that cannot be read "%?" and its position.
// The key's bytes are those the vision library's HString gives (TextA,
// LengthA); the embedded library gives them whole.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>

#include "NativeNode.h"

// The integer keys of a dictionary whose decimal text is also one of its string keys.
using ClashingKeys = std::unordered_set<Hlong>;

// The segment of key `index` of `keys`. `clashing` is read from `keys` when
// the first integer key needs it, and kept for the next keys.
std::wstring keySegmentAt(const HalconCpp::HTuple& keys, Hlong index, std::unique_ptr<ClashingKeys>& clashing);

// `segment` as a node's text: `label` itself when the two read alike.
NodeText segmentText(std::wstring_view segment, const NodeText& label);

// The node at `path` below `root` ("" and "/" are the root itself), building
// late children on the way as childAt does; null when no node has that path.
const NativeNode* nodeAtPath(const NativeNode& root, std::wstring_view path);
