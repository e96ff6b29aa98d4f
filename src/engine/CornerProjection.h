#pragma once
// The plain-number geometry behind the perspective correction: the four image corners turned by
// pitch, yaw and rotation in a three-dimensional frame and projected back onto the image plane.
// Every computation is in double precision; only the final corners are narrowed to floats, which
// is what the perspective filter takes.

// The input of a projection: the image size in pixels and the angles in degrees. angularWidth is
// the diagonal angle of view, which sets how far away the virtual viewer stands.
struct imageParams {
    double imageWidth = 0;
    double imageHeight = 0;
    double yaw = 0;
    double pitch = 0;
    double rotation = 0;
    double angularWidth = 0;
};

struct cornerPoint {
    float x = 0;
    float y = 0;
};

// The projected corners: top left, top right, bottom right, bottom left.
struct coordinates {
    cornerPoint TL, TR, BR, BL;
};

// A working point: depth d (towards the viewer), horizontal x, vertical y (up).
struct spacePoint {
    double d = 0;
    double x = 0;
    double y = 0;
};

// The projected corners in coordinates centred on the image.
void CalculatePoints(imageParams params, coordinates* result);
// The same corners in image coordinates (origin at the image's bottom-left corner).
void RevertPoints(imageParams params, coordinates* result);

// Whether the projection of these parameters is a usable picture: every corner stays in front of
// the viewer and the projected quadrilateral is finite, convex and keeps at least a thousandth
// of the image's area. Near-90-degree angles or a 180-degree angle of view fail here, and a
// perspective step must not run on them.
bool ProjectionIsUsable(const imageParams& params);

// The pitch, yaw and rotation transforms (angles in radians) and the perspective division by the
// viewing distance f (in pixels).
spacePoint P(double angle, spacePoint p);
spacePoint Y(double angle, spacePoint p);
spacePoint C(double angle, spacePoint p);
spacePoint Pp(double f, spacePoint p);
