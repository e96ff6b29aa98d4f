#pragma once
// Filters by name. A filter is a small mutable object holding input values by key; its
// "outputImage" is a new lazy image built from them. Every filter declares its inputs in one table
// (key, type, default); setDefaults, the type checks of setValue and the attributes all follow from
// that table, for the built-in filters and for filters registered by the system's own code alike.
//
// Built-in filters (an unknown name gives no filter):
//   "CIAffineTransform"        inputImage, inputTransform (identity)
//   "CILanczosScaleTransform"  inputImage, inputScale (1), inputAspectRatio (1); output size is the
//                              scaled extent rounded to whole pixels (6000 x 4000 at 0.15: 900 x 600)
//   "CIColorMatrix"            inputImage, inputRVector (1,0,0,0), inputGVector (0,1,0,0),
//                              inputBVector (0,0,1,0), inputAVector (0,0,0,1), inputBiasVector (0,0,0,0)
//   "CIMaximumCompositing"     inputImage, inputBackgroundImage (a missing operand gives the other)
//   "CISourceAtopCompositing"  inputImage, inputBackgroundImage
//   "CIPerspectiveTransform"   inputImage, inputTopLeft, inputTopRight, inputBottomRight,
//                              inputBottomLeft (Vec2): the input's extent corners go to these points;
//                              a degenerate quadrilateral gives the null image
//   "CICrop"                   inputImage, inputRectangle (Vec4 x, y, width, height)
//   "CIExposureAdjust"         inputImage, inputEV (0.5): colours times 2^EV
//   "CIRadialGradient"         inputCenter (150,150), inputRadius0 (5), inputRadius1 (100),
//                              inputColor0 (white), inputColor1 (black); no input image
// Every filter answers "outputImage"; a filter whose image input is null answers the null image.
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "coreimage/CIImage.h"
#include "foundation/Geometry.h"
#include "foundation/Value.h"

namespace qv::ci {

// The input keys of the built-in filters, named once; a filter of the system's own names its other
// keys beside its class. inputImage and inputCenter serve those filters too.
inline constexpr char kInputImage[] = "inputImage";
inline constexpr char kInputCenter[] = "inputCenter";
inline constexpr char kInputTransform[] = "inputTransform";
inline constexpr char kInputScale[] = "inputScale";
inline constexpr char kInputAspectRatio[] = "inputAspectRatio";
inline constexpr char kInputRVector[] = "inputRVector";
inline constexpr char kInputGVector[] = "inputGVector";
inline constexpr char kInputBVector[] = "inputBVector";
inline constexpr char kInputAVector[] = "inputAVector";
inline constexpr char kInputBiasVector[] = "inputBiasVector";
inline constexpr char kInputBackgroundImage[] = "inputBackgroundImage";
inline constexpr char kInputTopLeft[] = "inputTopLeft";
inline constexpr char kInputTopRight[] = "inputTopRight";
inline constexpr char kInputBottomRight[] = "inputBottomRight";
inline constexpr char kInputBottomLeft[] = "inputBottomLeft";
inline constexpr char kInputRectangle[] = "inputRectangle";
inline constexpr char kInputEV[] = "inputEV";
inline constexpr char kInputRadius0[] = "inputRadius0";
inline constexpr char kInputRadius1[] = "inputRadius1";
inline constexpr char kInputColor0[] = "inputColor0";
inline constexpr char kInputColor1[] = "inputColor1";

// An RGBA colour, components 0..1, not premultiplied.
struct Color {
    double r = 0, g = 0, b = 0, a = 1;
    bool operator==(const Color& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

enum class InputType { Image, Number, Vector2, Vector4, Transform, Color, String };

// A value held by a filter key: nothing, an image, a number, a 2- or 4-vector, an affine
// transform, a colour or a string.
class FilterValue {
public:
    FilterValue() = default;
    FilterValue(Image v) : m_v(std::move(v)) {}
    FilterValue(double v) : m_v(v) {}
    FilterValue(float v) : m_v(double(v)) {}
    FilterValue(int v) : m_v(double(v)) {}
    FilterValue(Vec2 v) : m_v(v) {}
    FilterValue(Vec4 v) : m_v(v) {}
    FilterValue(AffineTransform v) : m_v(v) {}
    FilterValue(Color v) : m_v(v) {}
    FilterValue(std::string v) : m_v(std::move(v)) {}
    FilterValue(const char* v) : m_v(std::string(v ? v : "")) {}

    bool isNothing() const { return m_v.index() == 0; }
    const Image* image() const { return std::get_if<Image>(&m_v); }
    const double* number() const { return std::get_if<double>(&m_v); }
    const Vec2* vec2() const { return std::get_if<Vec2>(&m_v); }
    const Vec4* vec4() const { return std::get_if<Vec4>(&m_v); }
    const AffineTransform* transform() const { return std::get_if<AffineTransform>(&m_v); }
    const Color* color() const { return std::get_if<Color>(&m_v); }
    const std::string* string() const { return std::get_if<std::string>(&m_v); }

    // This value made to fit an input of the given type: numbers as they are; a Vec4 gives a Vec2
    // its first two components and a Vec2 a Vec4 with z = w = 0; a Vec4 serves as a colour and a
    // colour as a Vec4. Nothing when it cannot fit.
    FilterValue convertedTo(InputType type) const;

private:
    std::variant<std::monostate, Image, double, Vec2, Vec4, AffineTransform, Color, std::string> m_v;
};

// One row of a filter's input table.
struct InputSpec {
    std::string key;           // kInputImage, kInputScale, ...
    InputType type;
    FilterValue defaultValue;  // what setDefaults stores (nothing for images)
    std::string displayName;   // for the attributes; the key when empty
};

class Filter;
using FilterConstructor = std::function<std::shared_ptr<Filter>(const std::string& name)>;

class Filter {
public:
    virtual ~Filter() = default;
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    // A new filter of a built-in or registered name; nothing for an unknown name.
    static std::shared_ptr<Filter> filterWithName(const std::string& name);

    // Registers a filter of the system's own under a name: the constructor makes instances, the
    // class attributes (e.g. {"CIAttributeFilterDisplayName": "Radial Distortion"}) are merged into
    // every instance's attributes. Registering a name again replaces the earlier registration.
    static void registerFilterName(const std::string& name, FilterConstructor constructor,
                                   Value classAttributes = Value());
    // Every filter name known now, built-in and registered, sorted.
    static std::vector<std::string> filterNames();
    static bool isRegistered(const std::string& name);

    const std::string& name() const { return m_name; }
    const std::vector<InputSpec>& inputSpecs() const { return m_inputs; }
    std::vector<std::string> inputKeys() const;
    std::vector<std::string> outputKeys() const { return {"outputImage"}; }

    // Stores every input's default (image inputs become nothing).
    void setDefaults();
    // Stores a value under a declared key, converted to the key's type. False (and nothing stored)
    // for a value that does not fit. A key the filter does not declare is a mistake in the caller:
    // it fails a QVAssert, and nothing is stored.
    bool setValue(const std::string& key, const FilterValue& value);
    // The stored value of an input key; "outputImage" answers the output image; nothing otherwise.
    FilterValue valueForKey(const std::string& key);

    // The image the current inputs make; the null image when a needed input is missing or null.
    virtual Image outputImage() = 0;

    // {"CIAttributeFilterName": name, "CIAttributeFilterDisplayName": ..., <input key>:
    //  {"CIAttributeClass": "CIImage" | "NSNumber" | "CIVector" | "NSAffineTransform" | "CIColor" |
    //   "NSString", "CIAttributeDefault": ... (numbers and vectors), "CIAttributeDisplayName": ...}}
    Value attributes() const;

protected:
    Filter(std::string name, std::vector<InputSpec> inputs);

    // Typed reads of stored inputs for outputImage(); a missing value reads as the null image, 0,
    // a zero vector, the identity, transparent black or the empty string.
    Image imageInput(const std::string& key) const;
    double numberInput(const std::string& key) const;
    Vec2 vec2Input(const std::string& key) const;
    Vec4 vec4Input(const std::string& key) const;
    AffineTransform transformInput(const std::string& key) const;
    Color colorInput(const std::string& key) const;

private:
    friend class FilterRegistry;
    const InputSpec* spec(const std::string& key) const;
    const FilterValue& stored(const std::string& key) const;

    std::string m_name;
    std::vector<InputSpec> m_inputs;
    std::vector<FilterValue> m_values;  // parallel to m_inputs
    Value m_classAttributes;
};

}  // namespace qv::ci
