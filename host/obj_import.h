// Wavefront OBJ import for the command-line baker: reads OBJ text into
// objects of the stand-in host's document, the way the baker then hands them
// to the plug-in.
//
// Grouping. Every `o` record starts a new object named by the rest of its
// line. A file without any `o` record starts an object at every `g` record
// instead (a later `g` with an earlier group's name still starts a new
// object). Faces before the first such record go to an object named
// "default", made only when there are such faces. A record followed by no
// face still makes an (empty) object. Objects keep file order and are all
// visible.
//
// Faces keep file order and their real point count: faces of one or two
// points and faces of more than four stay as they are (`l` and `p` records
// are not faces and are skipped). OBJ faces are seen counter-clockwise from
// their front, host faces clockwise, so OBJ corners (c0, c1, ..., cn-1)
// become host corners (c0, cn-1, ..., c1). A corner's UV is (u, 1 - v),
// rounded to float, with v measured upwards in OBJ and downwards in the
// host; a corner without a texture coordinate gets (0, 0).
//
// Each object holds exactly the vertices its faces use, numbered in order of
// first use as the file lists the corners; a vertex used by two objects is
// copied into both. Positions are the file's numbers as 32-bit floats, times
// `scale` rounded to float when scale is not 1. Normals are checked for form
// and then ignored. Indices count from 1; negative ones count back from the
// last element defined above the face; positive ones may refer to elements
// defined further down.
//
// Numbers. tinyobjloader converts every decimal number; "nan", "inf" and
// "infinity" (any case, optionally signed) are accepted as those floats. Its
// conversion can differ by one unit in the last place from a correctly
// rounded one for a few numbers that lie (almost) halfway between two floats.
//
// Syntax. Lines end at LF, CR LF or a lone CR; a UTF-8 byte-order mark at the
// start is skipped; a word starting with '#' starts a comment that runs to
// the end of the line. Unknown records are skipped. Line continuation with
// '\' is not supported.
//
// Failure. Any malformed line fails the whole import with one line naming
// the file and line ("model.obj:12: face refers to vertex 9, the file has
// 8"), and the document is left as it was. Every byte sequence is safe input.
#pragma once

#include <string>
#include <vector>

#include "document.h"

namespace host {

// Reads the OBJ file at `path` and appends its objects to `out`. `scale`
// must be finite and greater than 0. On failure returns false, leaves `out`
// untouched and, when `error` is not null, sets it to a one-line message
// that starts with `path`.
bool ImportObj(const std::string& path, double scale, Document& out, std::string* error);

// The same for OBJ text in memory; `nameForMessages` stands for the file
// name in error messages.
bool ImportObjFromString(const std::string& text, const std::string& nameForMessages,
                         double scale, Document& out, std::string* error);

// The name of every object slot of `document`, in slot order; an empty slot
// gives an empty name, so positions match object indices.
std::vector<std::string> ObjectNames(const Document& document);

}  // namespace host
