#include "foundation/Value.h"

#include "foundation/BitCast.h"

#include <cmath>
#include <limits>

namespace qv {

Real Real::fromFloat(float f) {
    return Real{double(f), bitCast<std::uint32_t>(f)};
}

float Real::asFloat() const {
    if (singleBits) return bitCast<float>(*singleBits);
    return float(value);
}

bool Real::operator==(const Real& other) const {
    if (singleBits || other.singleBits) {
        // Compare as stored patterns, so NaNs of one pattern compare equal (a round trip check).
        return bitCast<std::uint32_t>(asFloat()) == bitCast<std::uint32_t>(other.asFloat());
    }
    if (std::isnan(value) && std::isnan(other.value)) return true;
    return value == other.value;
}

std::optional<Date> Value::date() const {
    if (auto d = std::get_if<Date>(&m_storage)) return *d;
    return std::nullopt;
}

std::optional<double> Value::asDouble() const {
    switch (type()) {
    case Type::Integer: return double(std::get<std::int64_t>(m_storage));
    case Type::Real: {
        const Real& r = std::get<Real>(m_storage);
        return r.singleBits ? double(r.asFloat()) : r.value;
    }
    case Type::Bool: return std::get<bool>(m_storage) ? 1.0 : 0.0;
    default: return std::nullopt;
    }
}

std::optional<float> Value::asFloat() const {
    if (auto r = std::get_if<Real>(&m_storage)) return r->asFloat();
    if (auto d = asDouble()) return float(*d);
    return std::nullopt;
}

std::optional<std::int64_t> Value::asInteger() const {
    if (auto i = std::get_if<std::int64_t>(&m_storage)) return *i;
    auto d = asDouble();
    if (!d || std::isnan(*d)) return std::nullopt;
    constexpr double kMax = 9.2233720368547748e18;  // largest double below 2^63
    if (*d >= kMax) return std::numeric_limits<std::int64_t>::max();
    if (*d <= -kMax) return std::numeric_limits<std::int64_t>::min();
    return std::int64_t(*d);
}

std::optional<bool> Value::asBool() const {
    if (auto b = std::get_if<bool>(&m_storage)) return *b;
    if (auto d = asDouble()) return *d != 0;
    if (auto s = std::get_if<std::string>(&m_storage)) {
        // The platform reads "YES", "true" and numbers other than 0 as true.
        if (s->empty()) return false;
        char c = (*s)[0];
        return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
    }
    return std::nullopt;
}

std::optional<std::string> Value::asString() const {
    if (auto s = std::get_if<std::string>(&m_storage)) return *s;
    return std::nullopt;
}

const Value& Value::null() {
    static const Value nothing;
    return nothing;
}

const Value& Value::get(const std::string& key) const {
    if (auto d = dictionary()) {
        auto it = d->find(key);
        if (it != d->end()) return it->second;
    }
    return null();
}

Value& Value::operator[](const std::string& key) {
    if (!dictionary()) m_storage = Dictionary{};
    return (*dictionary())[key];
}

bool Value::contains(const std::string& key) const {
    auto d = dictionary();
    return d && d->count(key) != 0;
}

bool Value::erase(const std::string& key) {
    auto d = dictionary();
    return d && d->erase(key) != 0;
}

const Value& Value::at(std::size_t index) const {
    if (auto a = array()) {
        if (index < a->size()) return (*a)[index];
    }
    return null();
}

void Value::append(Value v) {
    if (!array()) m_storage = Array{};
    array()->push_back(std::move(v));
}

std::size_t Value::size() const {
    if (auto d = dictionary()) return d->size();
    if (auto a = array()) return a->size();
    return 0;
}

}  // namespace qv
