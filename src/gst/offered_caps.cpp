#include "gst/offered_caps.hpp"

namespace tavlomi {

namespace {

// Calls take(item) for value itself, or for each item when value is a list.
template <class Take>
void forEachItem(const GValue* value, Take take) {
    if (!GST_VALUE_HOLDS_LIST(value)) {
        take(value);
        return;
    }
    for (guint i = 0; i < gst_value_list_get_size(value); ++i)
        take(gst_value_list_get_value(value, i));
}

std::optional<std::vector<std::string>> formatsOf(const GValue* value) {
    if (value == nullptr) return std::nullopt;
    std::vector<std::string> formats;
    forEachItem(value, [&](const GValue* item) {
        if (G_VALUE_HOLDS_STRING(item)) formats.emplace_back(g_value_get_string(item));
    });
    return formats;
}

std::optional<OfferedField<int, SizeRange>> sizesOf(const GValue* value) {
    if (value == nullptr) return std::nullopt;
    OfferedField<int, SizeRange> field;
    if (GST_VALUE_HOLDS_INT_RANGE(value)) {
        field.range =
            SizeRange{gst_value_get_int_range_min(value), gst_value_get_int_range_max(value),
                      gst_value_get_int_range_step(value)};
        return field;
    }
    forEachItem(value, [&](const GValue* item) {
        if (G_VALUE_HOLDS_INT(item)) field.listed.push_back(g_value_get_int(item));
    });
    return field;
}

FrameRate fractionOf(const GValue* value) {
    return {gst_value_get_fraction_numerator(value), gst_value_get_fraction_denominator(value)};
}

std::optional<OfferedField<FrameRate, RateRange>> ratesOf(const GValue* value) {
    if (value == nullptr) return std::nullopt;
    OfferedField<FrameRate, RateRange> field;
    if (GST_VALUE_HOLDS_FRACTION_RANGE(value)) {
        field.range = RateRange{fractionOf(gst_value_get_fraction_range_min(value)),
                                fractionOf(gst_value_get_fraction_range_max(value))};
        return field;
    }
    forEachItem(value, [&](const GValue* item) {
        if (GST_VALUE_HOLDS_FRACTION(item)) field.listed.push_back(fractionOf(item));
    });
    return field;
}

}  // namespace

std::vector<OfferedStream> readOfferedCaps(const GstCaps* caps) {
    std::vector<OfferedStream> offered;
    if (caps == nullptr || gst_caps_is_any(caps)) return offered;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstCapsFeatures* features = gst_caps_get_features(caps, i);
        const GstStructure* structure = gst_caps_get_structure(caps, i);
        OfferedStream stream;
        stream.mediaType = gst_structure_get_name(structure);
        stream.systemMemory =
            features == nullptr || gst_caps_features_is_any(features) ||
            gst_caps_features_contains(features, GST_CAPS_FEATURE_MEMORY_SYSTEM_MEMORY);
        stream.formats = formatsOf(gst_structure_get_value(structure, "format"));
        stream.width = sizesOf(gst_structure_get_value(structure, "width"));
        stream.height = sizesOf(gst_structure_get_value(structure, "height"));
        stream.rate = ratesOf(gst_structure_get_value(structure, "framerate"));
        offered.push_back(std::move(stream));
    }
    return offered;
}

}  // namespace tavlomi
