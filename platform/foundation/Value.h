#pragma once
// The property-list value model: dictionary (string keys), array, string, integer, real, bool, date
// and data. Values are plain C++ values: copying one copies it deeply. A default-constructed Value
// is "nothing" (the null value); typed access on a value of another type answers nothing instead of
// throwing, because stored files and preference entries are never trusted to hold the expected type.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace qv {

class Value;
using Dictionary = std::map<std::string, Value>;
using Array = std::vector<Value>;
using Data = std::vector<std::uint8_t>;

// A point in time as property lists store it: seconds since 2001-01-01 00:00:00 UTC.
struct Date {
    double secondsSinceReferenceDate = 0;
    bool operator==(const Date& other) const { return secondsSinceReferenceDate == other.secondsSinceReferenceDate; }
};

// A real number. A real made from a float remembers the float's exact 32-bit pattern, so a value
// whose pattern is a NaN or an infinity (scrambled preset numbers can be) survives a file round trip.
struct Real {
    double value = 0;
    std::optional<std::uint32_t> singleBits;  // set when the real came from single precision

    static Real fromFloat(float f);
    float asFloat() const;  // the remembered pattern when there is one, else the value narrowed
    bool operator==(const Real& other) const;
};

class Value {
public:
    enum class Type { Null, Dictionary, Array, String, Integer, Real, Bool, Date, Data };

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool b) : m_storage(b) {}
    Value(int i) : m_storage(std::int64_t(i)) {}
    Value(long i) : m_storage(std::int64_t(i)) {}
    Value(long long i) : m_storage(std::int64_t(i)) {}
    Value(unsigned i) : m_storage(std::int64_t(i)) {}
    Value(double d) : m_storage(Real{d, std::nullopt}) {}
    Value(float f) : m_storage(Real::fromFloat(f)) {}
    Value(Real r) : m_storage(r) {}
    Value(const char* s) : m_storage(std::string(s ? s : "")) {}
    Value(std::string s) : m_storage(std::move(s)) {}
    Value(Dictionary d) : m_storage(std::move(d)) {}
    Value(Array a) : m_storage(std::move(a)) {}
    Value(Data d) : m_storage(std::move(d)) {}
    Value(Date d) : m_storage(d) {}

    Type type() const { return static_cast<Type>(m_storage.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isDictionary() const { return type() == Type::Dictionary; }
    bool isArray() const { return type() == Type::Array; }
    bool isString() const { return type() == Type::String; }
    bool isNumber() const { return type() == Type::Integer || type() == Type::Real || type() == Type::Bool; }
    explicit operator bool() const { return !isNull(); }

    // Typed access: a pointer to the held value, or null when the value is of another type.
    const Dictionary* dictionary() const { return std::get_if<Dictionary>(&m_storage); }
    Dictionary* dictionary() { return std::get_if<Dictionary>(&m_storage); }
    const Array* array() const { return std::get_if<Array>(&m_storage); }
    Array* array() { return std::get_if<Array>(&m_storage); }
    const std::string* string() const { return std::get_if<std::string>(&m_storage); }
    const Data* data() const { return std::get_if<Data>(&m_storage); }
    const Real* real() const { return std::get_if<Real>(&m_storage); }
    std::optional<Date> date() const;

    // Numbers read the way the platform reads them: an integer, a real or a bool answers as any
    // numeric type; anything else answers nothing.
    std::optional<double> asDouble() const;
    std::optional<float> asFloat() const;
    std::optional<std::int64_t> asInteger() const;  // reals are truncated toward zero; NaN answers nothing
    std::optional<bool> asBool() const;             // numbers: non-zero is true
    std::optional<std::string> asString() const;

    // Convenience with a fallback for absent or mistyped values.
    double doubleOr(double fallback) const { return asDouble().value_or(fallback); }
    float floatOr(float fallback) const { return asFloat().value_or(fallback); }
    std::int64_t integerOr(std::int64_t fallback) const { return asInteger().value_or(fallback); }
    bool boolOr(bool fallback) const { return asBool().value_or(fallback); }
    std::string stringOr(const std::string& fallback) const { return asString().value_or(fallback); }

    // Dictionary access. get() answers the null value for a missing key or a non-dictionary;
    // operator[] turns a null value into an empty dictionary first, as a mutable dictionary would.
    const Value& get(const std::string& key) const;
    Value& operator[](const std::string& key);
    bool contains(const std::string& key) const;
    bool erase(const std::string& key);  // true when the key was there

    // Array access. at() answers the null value for an index out of range or a non-array.
    const Value& at(std::size_t index) const;
    void append(Value v);  // a null value becomes an array first
    std::size_t size() const;  // entries of a dictionary or array, else 0

    bool operator==(const Value& other) const { return m_storage == other.m_storage; }
    bool operator!=(const Value& other) const { return !(*this == other); }

    static const Value& null();

private:
    std::variant<std::monostate, Dictionary, Array, std::string, std::int64_t, Real, bool, Date, Data> m_storage;
};

}  // namespace qv
