#include "game/standins/sound_standins.h"

#include "runtime/reader.h"

namespace sauno {

void RegisterSoundStandIns()
{
    using namespace describe;
    ClassRegistry& r = ClassRegistry::Instance();

    ClassInfo& sample = r.Register("TSoundSample", "", nullptr);
    String<TSoundSample>(sample, "Name", [](TSoundSample& s, const std::string& v) { s.Name = v; });

    ClassInfo& sounds = r.Register("TSoundLibrary", "TComponent", [](TComponent* o) { return new TSoundLibrary(o); });
    Property<TSoundLibrary>(sounds, "Samples", [](TSoundLibrary& l, const PropValue& v, TReader& rd) {
        for (const auto& item : v.AsCollection("Samples")) {
            auto s = std::make_unique<TSoundSample>();
            rd.ApplyProperties("TSoundSample", item, *s);
            l.Samples.push_back(std::move(s));
        }
    });

    ClassInfo& manager = r.Register("TSMFMOD", "TComponent", [](TComponent* o) { return new TSMFMOD(o); });
    Bool<TSMFMOD>(manager, "Active", [](TSMFMOD& m, bool v) { m.Active = v; });
    Float<TSMFMOD>(manager, "MasterVolume", [](TSMFMOD& m, double v) { m.MasterVolume = float(v); });
    Reference<TSMFMOD, TBaseSceneObject>(manager, "Listener", [](TSMFMOD& m, TBaseSceneObject* o) { m.Listener = o; });
    Reference<TSMFMOD, TCadencer>(manager, "Cadencer", [](TSMFMOD& m, TCadencer* c) { m.Cadencer = c; });
    Property<TSMFMOD>(manager, "Sources", [](TSMFMOD&, const PropValue& v, TReader&) {
        if (!v.AsCollection("Sources").empty()) throw Exception("Invalid property value for Sources");
    });
}

}  // namespace sauno
