// The filter base: input tables, values by key, attributes, and the registry of filter names.
#include <algorithm>
#include <map>
#include <mutex>

#include "coreimage/BuiltinFilters.h"
#include "coreimage/CIFilter.h"
#include "foundation/Assert.h"

namespace qv::ci {

FilterValue FilterValue::convertedTo(InputType type) const {
    switch (type) {
    case InputType::Image:
        if (image()) return *this;
        break;
    case InputType::Number:
        if (number()) return *this;
        break;
    case InputType::Vector2:
        if (vec2()) return *this;
        if (auto v = vec4()) return Vec2{v->x, v->y};
        break;
    case InputType::Vector4:
        if (vec4()) return *this;
        if (auto v = vec2()) return Vec4{v->x, v->y, 0, 0};
        if (auto c = color()) return Vec4{c->r, c->g, c->b, c->a};
        break;
    case InputType::Transform:
        if (transform()) return *this;
        break;
    case InputType::Color:
        if (color()) return *this;
        if (auto v = vec4()) return Color{v->x, v->y, v->z, v->w};
        break;
    case InputType::String:
        if (string()) return *this;
        break;
    }
    return FilterValue();
}

class FilterRegistry {
public:
    static FilterRegistry& shared() {
        static FilterRegistry registry;
        return registry;
    }
    struct Entry {
        FilterConstructor constructor;
        Value classAttributes;
    };
    void add(const std::string& name, Entry entry) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_entries[name] = std::move(entry);
    }
    bool find(const std::string& name, Entry& out) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_entries.find(name);
        if (it == m_entries.end()) return false;
        out = it->second;
        return true;
    }
    std::vector<std::string> names() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> out;
        for (const auto& [name, entry] : m_entries) out.push_back(name);
        return out;
    }
    static void setClassAttributes(Filter& f, Value v) { f.m_classAttributes = std::move(v); }

private:
    mutable std::mutex m_mutex;
    std::map<std::string, Entry> m_entries;
};

Filter::Filter(std::string name, std::vector<InputSpec> inputs)
    : m_name(std::move(name)), m_inputs(std::move(inputs)), m_values(m_inputs.size()) {}

std::shared_ptr<Filter> Filter::filterWithName(const std::string& name) {
    if (auto builtin = detail::makeBuiltinFilter(name)) return builtin;
    FilterRegistry::Entry entry;
    if (!FilterRegistry::shared().find(name, entry) || !entry.constructor) return nullptr;
    std::shared_ptr<Filter> filter = entry.constructor(name);
    if (filter) FilterRegistry::setClassAttributes(*filter, entry.classAttributes);
    return filter;
}

void Filter::registerFilterName(const std::string& name, FilterConstructor constructor, Value classAttributes) {
    FilterRegistry::shared().add(name, {std::move(constructor), std::move(classAttributes)});
}

std::vector<std::string> Filter::filterNames() {
    std::vector<std::string> names = detail::builtinFilterNames();
    for (auto& n : FilterRegistry::shared().names()) names.push_back(std::move(n));
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

bool Filter::isRegistered(const std::string& name) {
    const auto names = filterNames();
    return std::binary_search(names.begin(), names.end(), name);
}

std::vector<std::string> Filter::inputKeys() const {
    std::vector<std::string> keys;
    for (const auto& spec : m_inputs) keys.push_back(spec.key);
    return keys;
}

void Filter::setDefaults() {
    for (std::size_t i = 0; i < m_inputs.size(); ++i) {
        if (m_inputs[i].type != InputType::Image) m_values[i] = m_inputs[i].defaultValue;
    }
}

bool Filter::setValue(const std::string& key, const FilterValue& value) {
    for (std::size_t i = 0; i < m_inputs.size(); ++i) {
        if (m_inputs[i].key != key) continue;
        if (value.isNothing()) {
            m_values[i] = FilterValue();
            return true;
        }
        FilterValue converted = value.convertedTo(m_inputs[i].type);
        if (converted.isNothing()) return false;
        m_values[i] = std::move(converted);
        return true;
    }
    QVAssert(false, "a filter is given a value for an input key it does not declare");
    return false;
}

FilterValue Filter::valueForKey(const std::string& key) {
    if (key == "outputImage") return outputImage();
    return stored(key);
}

const InputSpec* Filter::spec(const std::string& key) const {
    for (const auto& s : m_inputs)
        if (s.key == key) return &s;
    return nullptr;
}

const FilterValue& Filter::stored(const std::string& key) const {
    static const FilterValue nothing;
    for (std::size_t i = 0; i < m_inputs.size(); ++i)
        if (m_inputs[i].key == key) return m_values[i];
    return nothing;
}

Image Filter::imageInput(const std::string& key) const {
    auto v = stored(key).image();
    return v ? *v : Image();
}
double Filter::numberInput(const std::string& key) const {
    auto v = stored(key).number();
    return v ? *v : 0.0;
}
Vec2 Filter::vec2Input(const std::string& key) const {
    auto v = stored(key).vec2();
    return v ? *v : Vec2{};
}
Vec4 Filter::vec4Input(const std::string& key) const {
    auto v = stored(key).vec4();
    return v ? *v : Vec4{};
}
AffineTransform Filter::transformInput(const std::string& key) const {
    auto v = stored(key).transform();
    return v ? *v : AffineTransform{};
}
Color Filter::colorInput(const std::string& key) const {
    auto v = stored(key).color();
    return v ? *v : Color{0, 0, 0, 0};
}

namespace {

const char* attributeClass(InputType type) {
    switch (type) {
    case InputType::Image: return "CIImage";
    case InputType::Number: return "NSNumber";
    case InputType::Vector2:
    case InputType::Vector4: return "CIVector";
    case InputType::Transform: return "NSAffineTransform";
    case InputType::Color: return "CIColor";
    case InputType::String: return "NSString";
    }
    return "";
}

Value attributeValue(const FilterValue& v) {
    if (auto n = v.number()) return Value(*n);
    if (auto p = v.vec2()) return Value(Array{p->x, p->y});
    if (auto p = v.vec4()) return Value(Array{p->x, p->y, p->z, p->w});
    if (auto c = v.color()) return Value(Array{c->r, c->g, c->b, c->a});
    if (auto t = v.transform()) return Value(Array{t->a, t->b, t->c, t->d, t->tx, t->ty});
    if (auto s = v.string()) return Value(*s);
    return Value();
}

}  // namespace

Value Filter::attributes() const {
    Value out{Dictionary{}};
    out["CIAttributeFilterName"] = m_name;
    out["CIAttributeFilterDisplayName"] = m_name;
    if (auto d = m_classAttributes.dictionary()) {
        for (const auto& [key, value] : *d) out[key] = value;
    }
    for (const auto& spec : m_inputs) {
        Value entry{Dictionary{}};
        entry["CIAttributeClass"] = attributeClass(spec.type);
        entry["CIAttributeDisplayName"] = spec.displayName.empty() ? spec.key : spec.displayName;
        if (Value def = attributeValue(spec.defaultValue); !def.isNull()) entry["CIAttributeDefault"] = def;
        out[spec.key] = entry;
    }
    return out;
}

}  // namespace qv::ci
