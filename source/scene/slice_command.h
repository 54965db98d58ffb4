#pragma once
// The command-line slicer: `cleave --slice FILE --plane A,B,C,D --out DIR`
// cuts a model file by the plane A x + B y + C z = D (in the model's own
// units) without opening a window, closes both openings, splits each half
// into its connected parts, writes every part as an OBJ file into DIR and
// prints one line of JSON on standard output:
//   {"model":"FILE","plane":[a,b,c,d],"parts":[{"file":"DIR/NAME_front_0.obj",
//    "side":"front","triangles":N,"volume":V,"closed":true},...],"milliseconds":T}
// with (a, b, c) the unit normal and d the plane's distance along it; "front"
// parts lie on the side the normal points to; T is the time of the cut
// (split, caps, parts) in milliseconds.

#include <iosfwd>
#include <string>

// Reads "A,B,C,D": four finite numbers, (A, B, C) not zero, the plane
// within float range of the origin. On success the plane scaled so (a, b, c)
// has length 1; otherwise false and a message.
bool ParseSlicePlane(const std::string& text, double plane[4], std::string& error);

// Runs the slicer; messages (a model that cannot be read or is not closed,
// a bad plane, a folder that cannot be made or written) go to `err`, one line
// each. Returns the exit code: 0 on success, 1 after such a message.
int RunSliceCommand(const std::string& model, const std::string& plane, const std::string& outDir,
                    std::ostream& out, std::ostream& err);
