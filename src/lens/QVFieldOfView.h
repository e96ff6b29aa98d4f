#pragma once
// The diagonal angle of view that the perspective correction needs, from a horizontal angle and the
// image's size. Angles are degrees at the interfaces, radians only inside the formulas.

struct QVFieldOfView {
    static constexpr double kPi = 3.141592653589793;
    // The angle taken when the computed or typed one is not usable (0 or below, or not a number).
    static constexpr double kDefaultAngularWidth = 34.9681;
    static constexpr double kMaximumAngularWidth = 90.0;

    static double degToRad(double degrees);
    static double radToDeg(double radians);

    // The vertical angle of an image of width x height whose horizontal angle is h.
    static double calculateVerticalFOVFromHFOV(double h, double width, double height);
    // The diagonal angle from the horizontal and vertical angles.
    static double calculateDiagonalFOVFromHVOV(double h, double v);

    // The angle clamped into (0, 90]: 0 or below, and anything that is not a finite number (a 0 x 0
    // image, an infinite typed value), give the default; above 90 gives 90.
    static double clampAngularWidth(double degrees);

    // The angle setDFOVwithWidth settles on: the typed angle when the user asked for it, else the
    // diagonal computed from the horizontal angle and the image's size; clamped either way.
    static double angularWidth(bool useTypedAngle, double typedAngle, double horizontalAngle, double width,
                               double height);
};
