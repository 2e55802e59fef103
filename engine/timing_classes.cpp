// The cadencer and the asynchronous timer as the scene-description reader sees them.
#include <cstdint>
#include <initializer_list>
#include <string>

#include "engine/asynctimer.h"
#include "engine/cadencer.h"
#include "platform/exception.h"
#include "runtime/forms.h"
#include "runtime/reader.h"

namespace sauno {

namespace {

Exception InvalidValue(const std::string& property, const PropValue& value)
{
    return Exception("Invalid property value for " + property + " (line " + std::to_string(value.line) + ")");
}

// An enumeration written by name; the names are in the enumeration's order.
template <class E>
E EnumValue(const PropValue& value, const std::string& property, std::initializer_list<const char*> names)
{
    const std::string& name = value.AsIdent(property);
    int i = 0;
    for (const char* n : names) {
        if (name == n) return static_cast<E>(i);
        ++i;
    }
    throw InvalidValue(property, value);
}

}  // namespace

void RegisterTimingClasses()
{
    using namespace describe;
    ClassRegistry& r = ClassRegistry::Instance();

    ClassInfo& cadencer = r.Register("TCadencer", "TComponent", [](TComponent* o) { return new TCadencer(o); });
    Reference<TCadencer, TScene>(cadencer, "Scene", [](TCadencer& c, TScene* s) { c.SetScene(s); });
    Bool<TCadencer>(cadencer, "Enabled", [](TCadencer& c, bool v) { c.SetEnabled(v); });
    Property<TCadencer>(cadencer, "TimeReference", [](TCadencer& c, const PropValue& v, TReader&) {
        c.SetTimeReference(EnumValue<TCadencerTimeReference>(v, "TimeReference",
                                                             {"cmRTC", "cmPerformanceCounter", "cmExternal"}));
    });
    Float<TCadencer>(cadencer, "TimeMultiplier", [](TCadencer& c, double v) { c.SetTimeMultiplier(v); });
    Float<TCadencer>(cadencer, "MaxDeltaTime", [](TCadencer& c, double v) { c.MaxDeltaTime = v; });
    Float<TCadencer>(cadencer, "MinDeltaTime", [](TCadencer& c, double v) { c.MinDeltaTime = v; });
    Float<TCadencer>(cadencer, "FixedDeltaTime", [](TCadencer& c, double v) { c.FixedDeltaTime = v; });
    Property<TCadencer>(cadencer, "Mode", [](TCadencer& c, const PropValue& v, TReader&) {
        c.SetMode(EnumValue<TCadencerMode>(v, "Mode", {"cmManual", "cmASAP", "cmApplicationIdle"}));
    });
    Property<TCadencer>(cadencer, "SleepLength", [](TCadencer& c, const PropValue& v, TReader&) {
        int64_t ms = v.AsInteger("SleepLength");
        if (ms < INT32_MIN || ms > INT32_MAX) throw InvalidValue("SleepLength", v);
        c.SleepLength = static_cast<int32_t>(ms);
    });

    ClassInfo& timer = r.Register("TAsyncTimer", "TComponent", [](TComponent* o) { return new TAsyncTimer(o); });
    Bool<TAsyncTimer>(timer, "Enabled", [](TAsyncTimer& t, bool v) { t.SetEnabled(v); });
    Property<TAsyncTimer>(timer, "Interval", [](TAsyncTimer& t, const PropValue& v, TReader&) {
        int64_t ms = v.AsInteger("Interval");
        if (ms < 0 || ms > UINT16_MAX) throw InvalidValue("Interval", v);
        t.SetInterval(static_cast<uint16_t>(ms));
    });
    Property<TAsyncTimer>(timer, "OnTimer", [](TAsyncTimer& t, const PropValue& v, TReader& reader) {
        t.OnTimer = FormOf(reader).NotifyHandler(v.AsIdent("OnTimer"));
    });
    Property<TAsyncTimer>(timer, "ThreadPriority", [](TAsyncTimer& t, const PropValue& v, TReader&) {
        t.SetThreadPriority(EnumValue<TThreadPriority>(
            v, "ThreadPriority",
            {"tpIdle", "tpLowest", "tpLower", "tpNormal", "tpHigher", "tpHighest", "tpTimeCritical"}));
    });
}

}  // namespace sauno
