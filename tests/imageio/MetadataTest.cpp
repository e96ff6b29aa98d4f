// The metadata dictionaries through a write and a read: every kind of EXIF value the platform's
// dictionaries hold comes back in the same shape.
#include <gtest/gtest.h>

#include <cmath>

#include "TestImages.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageProperties.h"
#include "imageio/ImageSource.h"

using namespace qv;
using namespace qv::io;

namespace {

Dictionary readBack(ImageType type, const Dictionary& properties) {
    auto source = ImageSource::createWithData(qvtest::encodeWithLayer(type, 12, 8, false, properties));
    EXPECT_TRUE(source);
    return source ? source->properties() : Dictionary{};
}

void expectSame(const Value& written, const Value& read, const std::string& where) {
    if (written.type() == Value::Type::Real || read.type() == Value::Type::Real) {
        EXPECT_NEAR(read.doubleOr(NAN), written.doubleOr(NAN), 1e-6 * std::max(1.0, std::fabs(written.doubleOr(0)))) << where;
        return;
    }
    if (written.isArray() && read.isArray() && written.size() == read.size()) {
        for (std::size_t i = 0; i < written.size(); ++i) expectSame(written.at(i), read.at(i), where + "[" + std::to_string(i) + "]");
        return;
    }
    EXPECT_EQ(read, written) << where;
}

}  // namespace

TEST(Metadata, EveryKindOfValueComesBackInItsShape) {
    const Dictionary exif{{"UserComment", "taken at dusk, ünïcödé"},
                          {"ComponentsConfiguration", Array{Value(1), Value(2), Value(3), Value(0)}},
                          {"SceneType", 1},
                          {"FileSource", 3},
                          {"SubjectArea", Array{Value(10), Value(20), Value(30), Value(40)}},
                          {"LensSpecification", Array{Value(18.0), Value(55.0), Value(3.5), Value(5.6)}},
                          {"ExposureBiasValue", -0.7},
                          {"ExposureTime", 1.0 / 3.0},
                          {"Flash", 16},
                          {"DateTimeOriginal", "2009:06:21 14:03:07"},
                          {"FlashPixVersion", Array{Value(1), Value(0), Value(0)}},
                          {"OECF", Data{1, 2, 3, 4, 5}},
                          {"ISOSpeedRatings", Array{Value(1600)}},
                          {"FocalLenIn35mmFilm", 28},
                          {"SubjectDistRange", 2}};
    const Dictionary gps{{"Version", Array{Value(2), Value(2), Value(0), Value(0)}},
                         {"Latitude", 33.8688},
                         {"LatitudeRef", "S"},
                         {"DOP", 2.5},
                         {"Differental", 1},
                         {"DateStamp", "2009:06:21"},
                         {"AltitudeRef", 1},
                         {"Altitude", 12.25}};
    const Dictionary tiff{{"Copyright", "(c) Ann"}, {"ImageDescription", "Brücke"}, {"Make", "RICOH      "}};
    const Dictionary iptc{{"Caption/Abstract", "A bridge"}, {"By-line", Array{Value("Ann"), Value("Bob")}},
                          {"Keywords", Array{Value("a"), Value("b"), Value("c")}}, {"DateCreated", "2009-06-21"},
                          {"Province/State", "NSW"}};
    const Dictionary properties{{"{Exif}", exif}, {"{GPS}", gps}, {"{TIFF}", tiff}, {"{IPTC}", iptc}};

    for (ImageType type : {ImageType::JPEG, ImageType::TIFF, ImageType::PSD, ImageType::PNG}) {
        const Dictionary back = readBack(type, properties);
        for (const auto& [dictionary, entries] : properties)
            for (const auto& [key, value] : *entries.dictionary())
                expectSame(value, back.count(dictionary) ? back.at(dictionary).get(key) : Value(),
                           std::string(typeIdentifier(type)) + " " + dictionary + " " + key);
    }
}

TEST(Metadata, ResolutionTravelsAsDotsPerInch) {
    const Dictionary back = readBack(ImageType::TIFF, {{"DPIWidth", 300.0}, {"DPIHeight", 240.0}});
    EXPECT_DOUBLE_EQ(back.at("DPIWidth").doubleOr(0), 300.0);
    EXPECT_DOUBLE_EQ(back.at("DPIHeight").doubleOr(0), 240.0);
    const Dictionary jpeg = readBack(ImageType::JPEG, {{"{TIFF}", Dictionary{{"XResolution", 150.0}, {"YResolution", 150.0},
                                                                              {"ResolutionUnit", 2}}}});
    EXPECT_DOUBLE_EQ(jpeg.at("DPIWidth").doubleOr(0), 150.0);
}

TEST(Metadata, ValuesOfTheWrongShapeAreLeftOutNotGuessed) {
    const Dictionary properties{{"{Exif}", Dictionary{{"FocalLength", "fifty"}, {"ExposureTime", Dictionary{}},
                                                       {"FNumber", 2.8}}},
                                {"{TIFF}", Dictionary{{"Model", 42}}}};
    const Dictionary back = readBack(ImageType::JPEG, properties);
    const Value exif = back.at("{Exif}");
    EXPECT_FALSE(exif.contains("FocalLength"));
    EXPECT_FALSE(exif.contains("ExposureTime"));
    EXPECT_NEAR(exif.get("FNumber").doubleOr(0), 2.8, 1e-9);
    EXPECT_EQ(back.at("{TIFF}").get("Model").stringOr(""), "42");  // a number where text is due is written as text
}

namespace {

const char* const kXmpPacket =
    "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
    "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\""
    " xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\" xmlns:exif=\"http://ns.adobe.com/exif/1.0/\""
    " tiff:Orientation=\"6\" exif:PixelXDimension=\"4000\" exif:PixelYDimension=\"3000\">"
    "<dc:creator><rdf:Seq><rdf:li>Ann Example</rdf:li></rdf:Seq></dc:creator>"
    "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(Metadata, TheXmpPacketTravelsAndDescribesThePictureWritten) {
    const Dictionary properties{{"{TIFF}", Dictionary{{"Make", "Testmaker"}}},
                                {"{Exif}", Dictionary{{"PixelXDimension", 4000}, {"PixelYDimension", 3000}}},
                                {kQVImagePropertyXMPPacket, kXmpPacket},
                                {kCGImagePropertyOrientation, 1}};
    for (ImageType type : {ImageType::JPEG, ImageType::TIFF, ImageType::PSD, ImageType::PNG, ImageType::OpenEXR}) {
        SCOPED_TRACE(typeIdentifier(type));
        const Dictionary back = readBack(type, properties);
        const std::string packet = back.count(kQVImagePropertyXMPPacket) ? back.at(kQVImagePropertyXMPPacket).stringOr("") : "";
        EXPECT_TRUE(has(packet, "Ann Example")) << packet;
        if (type == ImageType::OpenEXR) {
            EXPECT_TRUE(has(packet, "tiff:Orientation=\"6\"")) << "OpenEXR keeps the packet as it was given";
        } else {
            // The written picture is 12 x 8 and upright: what the packet says of it follows.
            EXPECT_TRUE(has(packet, "1</tiff:Orientation>") || has(packet, "tiff:Orientation=\"1\"")) << packet;
            EXPECT_TRUE(has(packet, "12</exif:PixelXDimension>") || has(packet, "exif:PixelXDimension=\"12\"")) << packet;
            EXPECT_FALSE(has(packet, "4000")) << packet;
        }
        // Every format states the picture's own size in its EXIF, OpenEXR among them.
        const Value& exif = back.count("{Exif}") ? back.at("{Exif}") : Value::null();
        EXPECT_EQ(exif.get("PixelXDimension").integerOr(0), 12);
        EXPECT_EQ(exif.get("PixelYDimension").integerOr(0), 8);
    }
}

TEST(Metadata, ADamagedXmpPacketIsLeftOutAndTheRestIsWritten) {
    const Dictionary properties{{"{TIFF}", Dictionary{{"Make", "Testmaker"}}},
                                {kQVImagePropertyXMPPacket, "<x:xmpmeta><rdf:RDF><unclosed"}};
    const Dictionary back = readBack(ImageType::JPEG, properties);
    EXPECT_EQ(back.count("{TIFF}") ? back.at("{TIFF}").get("Make").stringOr("") : "", "Testmaker");
    EXPECT_FALSE(back.count(kQVImagePropertyXMPPacket) && has(back.at(kQVImagePropertyXMPPacket).stringOr(""), "unclosed"));
}
