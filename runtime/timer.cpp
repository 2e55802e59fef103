#include "runtime/timer.h"

#include <cstdint>

#include "platform/exception.h"
#include "runtime/application.h"
#include "runtime/forms.h"
#include "runtime/reader.h"

namespace sauno {

TTimer::TTimer(TComponent* owner) : TComponent(owner) {}

TTimer::~TTimer() { Application().StopTimer(this); }

void TTimer::SetEnabled(bool value)
{
    if (value == enabled_) return;
    enabled_ = value;
    Update();
}

void TTimer::SetInterval(uint32_t value)
{
    if (value == interval_) return;
    interval_ = value;
    Update();
}

void TTimer::Loaded()
{
    TComponent::Loaded();
    Update();
}

void TTimer::Update()
{
    Application().StopTimer(this);
    if (enabled_ && interval_ != 0 && !Loading()) Application().StartTimer(this, interval_);
}

void TTimer::Tick()
{
    if (enabled_ && OnTimer) OnTimer(this);
}

void RegisterRuntimeClasses()
{
    ClassInfo& timer = ClassRegistry::Instance().Register("TTimer", "TComponent",
                                                          [](TComponent* owner) { return new TTimer(owner); });
    timer.properties["Enabled"] = [](TPersistent& c, const PropValue& v, TReader&) {
        static_cast<TTimer&>(c).SetEnabled(v.AsBoolean("Enabled"));
    };
    timer.properties["Interval"] = [](TPersistent& c, const PropValue& v, TReader&) {
        int64_t ms = v.AsInteger("Interval");
        if (ms < 0 || ms > UINT32_MAX) throw Exception("Invalid property value for Interval");
        static_cast<TTimer&>(c).SetInterval(static_cast<uint32_t>(ms));
    };
    timer.properties["OnTimer"] = [](TPersistent& c, const PropValue& v, TReader& reader) {
        static_cast<TTimer&>(c).OnTimer = FormOf(reader).NotifyHandler(v.AsIdent("OnTimer"));
    };
    ClassRegistry::Instance().Register("TComponent", "", nullptr);
    RegisterFormClasses();
}

}  // namespace sauno
