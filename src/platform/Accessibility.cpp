#include "platform/Accessibility.h"

#include <cstdio>

namespace tw {

std::string HResultText(HResult hr) {
    switch (hr) {
        case kSOk:
            return "The operation completed successfully";
        case kENotImpl:
            return "Not implemented";
        case kENoInterface:
            return "No such interface supported";
        case kEFail:
            return "Unspecified error";
        case kEInvalidArg:
            return "The parameter is incorrect";
        case kRpcEDisconnected:
            return "The object invoked has disconnected from its clients";
        default:
            break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "OLE error %08X", static_cast<uint32_t>(hr));
    return text;
}

bool operator==(const AccVariant& a, const AccVariant& b) noexcept {
    if (a.kind != b.kind)
        return false;
    switch (a.kind) {
        case AccVariant::Kind::Empty:
            return true;
        case AccVariant::Kind::ChildId:
            return a.childId == b.childId;
        case AccVariant::Kind::Object:
            if (a.object == b.object)
                return true;
            return a.object && b.object && a.object->Identity() == b.object->Identity();
        case AccVariant::Kind::NonAccessible:
        case AccVariant::Kind::Other:
            return a.identity == b.identity;
    }
    return false;
}

}  // namespace tw
