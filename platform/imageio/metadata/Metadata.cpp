#include "imageio/metadata/Metadata.h"

#include <exiv2/exiv2.hpp>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <sstream>

#include "imageio/ImageProperties.h"
#include "imageio/metadata/MetadataNames.h"

namespace qv::io::metadata {

namespace {

// The XMP toolkit under Exiv2 keeps global state; files are read and written on several threads
// at once (saves, batches, the unwrap worker), so its parsing and serialising take this lock.
void lockXmpToolkit(void* mutex, bool lock) {
    if (lock) static_cast<std::mutex*>(mutex)->lock();
    else static_cast<std::mutex*>(mutex)->unlock();
}

void initialiseExiv2() {
    static std::once_flag once;
    static std::mutex* xmpMutex = new std::mutex;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize(lockXmpToolkit, xmpMutex);  // not thread-safe on first use, so done once here
    });
}

bool isGpsCoordinate(const std::string& key) {
    return key == "Latitude" || key == "Longitude" || key == "DestLatitude" || key == "DestLongitude";
}

// Text tags stored with an 8-byte character-set prefix.
bool isCommentTag(const std::string& key) {
    return key == "UserComment" || key == "ProcessingMethod" || key == "AreaInformation";
}

bool isVersionTag(const std::string& key) {
    return key == "ExifVersion" || key == "FlashPixVersion" || key == "InteroperabilityVersion";
}

double rationalValue(const Exiv2::Value& v, long i) {
    const Exiv2::Rational r = v.toRational(i);
    if (r.second == 0) return NAN;
    if (v.typeId() == Exiv2::unsignedRational)
        return double(std::uint32_t(r.first)) / double(std::uint32_t(r.second));
    return double(r.first) / double(r.second);
}

std::string trimNuls(std::string s) {
    while (!s.empty() && s.back() == '\0') s.pop_back();
    return s;
}

// "0221" -> [2, 2, 1]: the first two digits are the major version, each later digit one number.
Value versionArray(const Exiv2::Value& v) {
    std::string digits;
    for (long i = 0; i < v.count(); ++i) digits.push_back(char(v.toLong(i)));
    if (digits.size() < 3) return Value();
    Array a;
    a.emplace_back(int(std::strtol(digits.substr(0, 2).c_str(), nullptr, 10)));
    for (std::size_t i = 2; i < digits.size(); ++i) a.emplace_back(digits[i] >= '0' && digits[i] <= '9' ? digits[i] - '0' : 0);
    return Value(std::move(a));
}

// One EXIF datum as a property value, in the platform's shapes.
Value exifValue(const Exiv2::Exifdatum& datum, const PropertyName& name) {
    const Exiv2::Value& v = datum.value();
    const long count = v.count();
    const bool gps = std::strcmp(name.dictionary, kCGImagePropertyGPSDictionary) == 0;
    if (count <= 0) return Value();
    if (gps && isGpsCoordinate(name.key) && count == 3) {
        const double d = rationalValue(v, 0), m = rationalValue(v, 1), s = rationalValue(v, 2);
        return std::isfinite(d + m + s) ? Value(d + m / 60.0 + s / 3600.0) : Value();
    }
    if (gps && name.key == "TimeStamp" && count == 3) {
        const double h = rationalValue(v, 0), m = rationalValue(v, 1), s = rationalValue(v, 2);
        if (!std::isfinite(h + m + s)) return Value();
        char text[32];
        std::snprintf(text, sizeof text, "%02d:%02d:%06.3f", int(h), int(m), s);
        return Value(std::string(text));
    }
    if (isVersionTag(name.key)) return versionArray(v);
    if (isCommentTag(name.key) && (v.typeId() == Exiv2::undefined || v.typeId() == Exiv2::comment)) {
        Exiv2::CommentValue comment;
        Data bytes(std::size_t(v.size()));
        if (!bytes.empty()) v.copy(bytes.data(), Exiv2::littleEndian);
        comment.read(bytes.data(), long(bytes.size()), Exiv2::littleEndian);
        return Value(trimNuls(comment.comment()));
    }
    switch (v.typeId()) {
    case Exiv2::asciiString: return Value(trimNuls(v.toString()));
    case Exiv2::comment: return Value(trimNuls(static_cast<const Exiv2::CommentValue&>(v).comment()));
    case Exiv2::unsignedRational:
    case Exiv2::signedRational: {
        if (count == 1) {
            const double r = rationalValue(v, 0);
            return std::isfinite(r) ? Value(r) : Value();
        }
        Array a;
        for (long i = 0; i < count; ++i) a.emplace_back(rationalValue(v, i));
        return Value(std::move(a));
    }
    case Exiv2::tiffFloat:
    case Exiv2::tiffDouble:
        if (count == 1) return Value(double(v.toFloat(0)));
        {
            Array a;
            for (long i = 0; i < count; ++i) a.emplace_back(double(v.toFloat(i)));
            return Value(std::move(a));
        }
    case Exiv2::undefined:
        if (name.key == "ComponentsConfiguration") break;  // a list of small numbers
        if (count == 1 && (name.key == "SceneType" || name.key == "FileSource")) return Value(long(v.toLong(0)));
        {
            Data bytes(std::size_t(v.size()));
            if (!bytes.empty()) v.copy(bytes.data(), Exiv2::littleEndian);
            return Value(std::move(bytes));
        }
    default: break;
    }
    // Integers of every width.
    if (count == 1 && name.key != "ISOSpeedRatings" && name.key != "Version" && name.key != "SubjectArea")
        return Value(long(v.toLong(0)));
    Array a;
    for (long i = 0; i < count; ++i) a.emplace_back(long(v.toLong(i)));
    return Value(std::move(a));
}

// A rational close to x: exact for whole numbers, else the best continued-fraction approximant
// whose terms fit in 32 bits.
std::pair<std::int64_t, std::int64_t> rationalOf(double x, bool isSigned) {
    if (!std::isfinite(x)) return {0, 1};
    const double limit = isSigned ? 2147483647.0 : 4294967295.0;
    if (!isSigned && x < 0) x = 0;
    if (std::fabs(x) >= limit) return {std::int64_t(x > 0 ? limit : -limit), 1};
    if (x == std::floor(x)) return {std::int64_t(x), 1};
    std::int64_t p0 = 0, q0 = 1, p1 = 1, q1 = 0;
    double rest = x;
    for (int i = 0; i < 40; ++i) {
        const double a = std::floor(rest);
        const double p2 = a * double(p1) + double(p0), q2 = a * double(q1) + double(q0);
        if (std::fabs(p2) > limit || q2 > limit) break;
        p0 = p1, q0 = q1, p1 = std::int64_t(p2), q1 = std::int64_t(q2);
        if (std::fabs(double(p1) / double(q1) - x) < 1e-12 * std::max(1.0, std::fabs(x))) break;
        const double fraction = rest - a;
        if (fraction < 1e-15) break;
        rest = 1.0 / fraction;
    }
    if (q1 == 0) return {std::int64_t(std::llround(x)), 1};
    return {p1, q1};
}

std::string numberText(const Value& v) {
    if (auto i = v.asInteger(); i && v.type() != Value::Type::Real) return std::to_string(*i);
    std::ostringstream s;
    s.precision(17);
    s << v.doubleOr(0);
    return s.str();
}

std::string rationalText(double x, bool isSigned) {
    const auto [n, d] = rationalOf(x, isSigned);
    return std::to_string(n) + "/" + std::to_string(d);
}

// "12:34:56.5" -> "12/1 34/1 56500/1000"
std::string timeStampText(const std::string& text) {
    int h = 0, m = 0;
    double s = 0;
    if (std::sscanf(text.c_str(), "%d:%d:%lf", &h, &m, &s) < 2) return {};
    return std::to_string(h) + "/1 " + std::to_string(m) + "/1 " + std::to_string(std::llround(s * 1000)) + "/1000";
}

std::string coordinateText(double degrees) {
    degrees = std::fabs(degrees);
    const double d = std::floor(degrees);
    const double minutes = (degrees - d) * 60.0;
    const double m = std::floor(minutes);
    const double s = (minutes - m) * 60.0;
    return std::to_string(std::llround(d)) + "/1 " + std::to_string(std::llround(m)) + "/1 " +
           std::to_string(std::llround(s * 10000.0)) + "/10000";
}

std::vector<Value> elementsOf(const Value& v) {
    if (const Array* a = v.array()) return *a;
    return {v};
}

// The Exiv2 value for a property, shaped as the tag's own type; null when the value does not fit.
Exiv2::Value::AutoPtr exiv2Value(const Exiv2::ExifKey& key, const PropertyName& name, const Value& value) {
    const Exiv2::TypeId type = key.defaultTypeId();
    const bool gps = std::strcmp(name.dictionary, kCGImagePropertyGPSDictionary) == 0;
    Exiv2::Value::AutoPtr out = Exiv2::Value::create(isCommentTag(name.key) ? Exiv2::comment : type);
    std::string text;
    if (gps && isGpsCoordinate(name.key) && value.isNumber()) {
        text = coordinateText(value.doubleOr(0));
    } else if (gps && name.key == "TimeStamp" && value.isString()) {
        text = timeStampText(*value.string());
    } else if (isVersionTag(name.key) && value.isArray()) {
        const Array& parts = *value.array();
        if (parts.empty()) return Exiv2::Value::AutoPtr();
        char major[8];
        std::snprintf(major, sizeof major, "%02d", int(parts[0].integerOr(0) % 100));
        std::string digits = major;
        for (std::size_t i = 1; i < parts.size(); ++i) digits.push_back(char('0' + parts[i].integerOr(0) % 10));
        out->read(reinterpret_cast<const Exiv2::byte*>(digits.data()), long(digits.size()), Exiv2::littleEndian);
        return out;
    } else {
        switch (isCommentTag(name.key) ? Exiv2::comment : type) {
        case Exiv2::asciiString:
            if (value.isString()) text = *value.string();
            else if (value.isNumber()) text = numberText(value);
            else return Exiv2::Value::AutoPtr();
            break;
        case Exiv2::comment: {
            if (!value.isString()) return Exiv2::Value::AutoPtr();
            const std::string& s = *value.string();
            bool ascii = true;
            for (unsigned char c : s) ascii &= c < 0x80;
            text = (ascii ? "charset=Ascii " : "charset=Unicode ") + s;
            break;
        }
        case Exiv2::undefined:
            if (const Data* bytes = value.data()) {
                if (bytes->empty()) return Exiv2::Value::AutoPtr();
                out->read(bytes->data(), long(bytes->size()), Exiv2::littleEndian);
                return out;
            }
            [[fallthrough]];
        default:
            for (const Value& element : elementsOf(value)) {
                if (!element.isNumber()) return Exiv2::Value::AutoPtr();
                if (!text.empty()) text += ' ';
                if (type == Exiv2::unsignedRational || type == Exiv2::signedRational)
                    text += rationalText(element.doubleOr(0), type == Exiv2::signedRational);
                else if (type == Exiv2::tiffFloat || type == Exiv2::tiffDouble)
                    text += numberText(element);
                else
                    text += std::to_string(std::llround(element.doubleOr(0)));
            }
            break;
        }
    }
    if (text.empty() || out->read(text) != 0) return Exiv2::Value::AutoPtr();
    return out;
}

Exiv2::Image::AutoPtr openImage(const Data& file) {
    initialiseExiv2();
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(file.data(), long(file.size()));
    if (image.get()) image->readMetadata();
    return image;
}

bool readBack(Exiv2::Image& image, Data& file, std::string& error) {
    Exiv2::BasicIo& io = image.io();
    if (io.open() != 0) {
        error = "cannot read the rewritten file";
        return false;
    }
    const long size = io.size();
    // Exiv2 rewrote the file in its own bytes, or (in place) in ours.
    const bool inPlace = io.mmap(false) == file.data();
    io.munmap();
    if (inPlace && size == long(file.size())) {
        io.close();
        return true;
    }
    // The old file goes before the new one is copied out, so a photo-sized file is never held
    // three times.
    if (!inPlace) file = Data();
    Data bytes(std::size_t(size > 0 ? size : 0));
    io.seek(0, Exiv2::BasicIo::beg);
    const long got = bytes.empty() ? 0 : io.read(bytes.data(), size);
    io.close();
    if (got != size || bytes.empty()) {
        error = "cannot read the rewritten file";
        return false;
    }
    file = std::move(bytes);
    return true;
}

const Dictionary* dictionaryIn(const Dictionary& properties, const char* name) {
    auto it = properties.find(name);
    return it == properties.end() ? nullptr : it->second.dictionary();
}

std::string xmpPacketIn(const Dictionary& properties) {
    auto it = properties.find(kQVImagePropertyXMPPacket);
    const std::string* text = it == properties.end() ? nullptr : it->second.string();
    return text ? *text : std::string();
}

// The source's XMP, made to describe the picture written: an orientation or a size it states is
// the written one's. A packet Exiv2 cannot parse is left out rather than written damaged.
bool writeXmp(Exiv2::Image& image, const std::string& packet, const WriteRequest& request) {
    Exiv2::XmpData xmp;
    if (Exiv2::XmpParser::decode(xmp, packet) != 0) return false;
    auto replaceIfPresent = [&xmp](const char* key, long value) {
        auto found = xmp.findKey(Exiv2::XmpKey(key));
        if (found != xmp.end()) found->setValue(std::to_string(value));
    };
    if (request.orientation >= 1 && request.orientation <= 8) replaceIfPresent("Xmp.tiff.Orientation", request.orientation);
    if (request.pixelWidth > 0 && request.pixelHeight > 0) {
        replaceIfPresent("Xmp.exif.PixelXDimension", request.pixelWidth);
        replaceIfPresent("Xmp.exif.PixelYDimension", request.pixelHeight);
        replaceIfPresent("Xmp.tiff.ImageWidth", request.pixelWidth);
        replaceIfPresent("Xmp.tiff.ImageLength", request.pixelHeight);
    }
    image.setXmpData(xmp);
    return true;
}

}  // namespace

bool readMetadata(const Data& file, Dictionary& properties, std::string& error) {
    try {
        auto image = openImage(file);
        if (!image.get()) {
            error = "Exiv2 does not know the file type";
            return false;
        }
        Dictionary found;
        for (const auto& datum : image->exifData()) {
            auto name = propertyNameForExif(datum.groupName(), datum.tagName(), datum.tag());
            if (!name) continue;
            Value v = exifValue(datum, *name);
            if (!v.isNull()) found[name->dictionary][name->key] = std::move(v);
        }
        for (const auto& datum : image->iptcData()) {
            if (datum.record() != Exiv2::IptcDataSets::application2 || datum.tag() == 0) continue;  // record version
            const std::string key = propertyNameForIptc(datum.tagName());
            Value text(trimNuls(datum.value().toString()));
            Value& slot = found[kCGImagePropertyIPTCDictionary][key];
            if (Exiv2::IptcDataSets::dataSetRepeatable(datum.tag(), datum.record()))
                slot.append(std::move(text));
            else if (slot.isNull())
                slot = std::move(text);
        }
        if (!image->xmpPacket().empty() && !properties.count(kQVImagePropertyXMPPacket))
            properties[kQVImagePropertyXMPPacket] = image->xmpPacket();
        for (auto& [dictionary, entries] : found) {
            Value& target = properties[dictionary];
            if (target.isNull()) target = Dictionary{};
            if (!target.isDictionary()) continue;
            for (auto& [key, value] : *entries.dictionary())
                if (!target.contains(key)) target[key] = std::move(value);
        }
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

bool hasMetadata(const Dictionary& properties) {
    // Rewriting a file through Exiv2 costs a copy of it; writer options such as the TIFF
    // compression alone are no reason for one.
    if (!xmpPacketIn(properties).empty()) return true;
    if (const Dictionary* d = dictionaryIn(properties, kCGImagePropertyIPTCDictionary); d && !d->empty()) return true;
    for (const char* name : {kCGImagePropertyTIFFDictionary, kCGImagePropertyExifDictionary, kCGImagePropertyGPSDictionary})
        if (const Dictionary* d = dictionaryIn(properties, name))
            for (const auto& entry : *d)
                if (exifKeyForProperty(name, entry.first)) return true;
    return false;
}

bool writeMetadata(Data& file, const Dictionary& properties, const WriteRequest& request, std::string& error) {
    try {
        auto image = openImage(file);
        if (!image.get()) {
            error = "Exiv2 cannot write this file type";
            return false;
        }
        Exiv2::ExifData& exif = image->exifData();
        for (const char* dictionary : {kCGImagePropertyTIFFDictionary, kCGImagePropertyExifDictionary, kCGImagePropertyGPSDictionary}) {
            const Dictionary* entries = dictionaryIn(properties, dictionary);
            if (!entries) continue;
            for (const auto& [key, value] : *entries) {
                const auto exifKey = exifKeyForProperty(dictionary, key);
                if (!exifKey) continue;
                Exiv2::ExifKey k(*exifKey);
                auto v = exiv2Value(k, PropertyName{dictionary, key}, value);
                if (!v.get()) continue;
                auto existing = exif.findKey(k);
                if (existing != exif.end()) exif.erase(existing);
                exif.add(k, v.get());
            }
        }
        // Entries the writer owns replace whatever the dictionaries said.
        auto setNumber = [&](const char* key, auto value) {
            Exiv2::ExifKey k(key);
            auto existing = exif.findKey(k);
            if (existing != exif.end()) exif.erase(existing);
            exif.add(k, &value);
        };
        auto shortValue = [](long n) {
            Exiv2::UShortValue v;
            v.value_.push_back(std::uint16_t(n));
            return v;
        };
        auto longValue = [](long n) {
            Exiv2::ULongValue v;
            v.value_.push_back(std::uint32_t(n));
            return v;
        };
        if (request.orientation >= 1 && request.orientation <= 8)
            setNumber("Exif.Image.Orientation", shortValue(request.orientation));
        // The picture written is not the source's: its EXIF size must be its own.
        if (dictionaryIn(properties, kCGImagePropertyExifDictionary) && request.pixelWidth > 0 && request.pixelHeight > 0) {
            setNumber("Exif.Photo.PixelXDimension", longValue(request.pixelWidth));
            setNumber("Exif.Photo.PixelYDimension", longValue(request.pixelHeight));
        }

        if (const Dictionary* iptcEntries = dictionaryIn(properties, kCGImagePropertyIPTCDictionary); iptcEntries && !iptcEntries->empty()) {
            Exiv2::IptcData& iptc = image->iptcData();
            for (const auto& [key, value] : *iptcEntries) {
                Exiv2::IptcKey k("Iptc.Application2.RecordVersion");
                try {
                    k = Exiv2::IptcKey(iptcKeyForProperty(key));
                } catch (const std::exception&) {
                    continue;
                }
                for (auto it = iptc.findKey(k); it != iptc.end(); it = iptc.findKey(k)) iptc.erase(it);
                for (const Value& element : elementsOf(value)) {
                    const auto text = element.isNumber() ? numberText(element) : element.asString();
                    if (!text) continue;
                    Exiv2::Value::AutoPtr v = Exiv2::Value::create(Exiv2::IptcDataSets::dataSetType(k.tag(), k.record()));
                    if (v->read(*text) == 0) iptc.add(k, v.get());
                }
            }
            // The text is UTF-8; the envelope says so for readers that care.
            Exiv2::IptcKey charset("Iptc.Envelope.CharacterSet");
            if (iptc.findKey(charset) == iptc.end() && !iptc.empty()) iptc["Iptc.Envelope.CharacterSet"] = "\x1b%G";
        }
        if (const std::string packet = xmpPacketIn(properties); !packet.empty()) writeXmp(*image, packet, request);
        image->writeMetadata();
        return readBack(*image, file, error);
    } catch (const std::exception& e) {
        error = std::string("cannot write the metadata: ") + e.what();
        return false;
    }
}

bool replaceIccProfile(Data& file, const Data& icc, std::string& error) {
    try {
        auto image = openImage(file);
        if (!image.get()) {
            error = "Exiv2 cannot write this file type";
            return false;
        }
        Exiv2::DataBuf profile(icc.data(), long(icc.size()));
        image->setIccProfile(profile, true);
        image->writeMetadata();
        return readBack(*image, file, error);
    } catch (const std::exception& e) {
        error = std::string("cannot embed the profile: ") + e.what();
        return false;
    }
}

}  // namespace qv::io::metadata
