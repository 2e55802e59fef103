#include "sound/sound_classes.h"

#include "runtime/reader.h"
#include "sound/smfmod.h"

namespace sauno {

namespace {

TSoundEnvironment EnvironmentOf(const PropValue& v)
{
    return describe::Enumeration<TSoundEnvironment>(
        v, "Environment",
        {"seDefault", "sePaddedCell", "seRoom", "seBathroom", "seLivingRoom", "seStoneroom", "seAuditorium",
         "seConcertHall", "seCave", "seArena", "seHangar", "seCarpetedHallway", "seHallway", "seStoneCorridor",
         "seAlley", "seForest", "seCity", "seMountains", "seQuarry", "sePlain", "seParkingLot", "seSewerPipe",
         "seUnderWater", "seDrugged", "seDizzy", "sePsychotic"});
}

}  // namespace

void RegisterSoundClasses()
{
    using namespace describe;
    ClassRegistry& r = ClassRegistry::Instance();
    r.Register("TWAVFile", "", nullptr);
    r.Register("TMP3File", "", nullptr);

    ClassInfo& sample = r.Register("TSoundSample", "", nullptr);
    String<TSoundSample>(sample, "Name", [](TSoundSample& s, const std::string& v) { s.Name = v; });
    Binary<TSoundSample>(sample, "BinData", 0,
                         [](TSoundSample& s, const std::vector<uint8_t>& bytes) { s.ReadBinData(bytes); });

    ClassInfo& library =
        r.Register("TSoundLibrary", "TComponent", [](TComponent* o) { return new TSoundLibrary(o); });
    Property<TSoundLibrary>(library, "Samples", [](TSoundLibrary& l, const PropValue& v, TReader& rd) {
        l.Samples().Clear();
        for (const auto& item : v.AsCollection("Samples")) rd.ApplyProperties("TSoundSample", item, l.Samples().Add());
    });

    ClassInfo& source = r.Register("TSoundSource", "", nullptr);
    Reference<TSoundSource, TSoundLibrary>(source, "SoundLibrary",
                                           [](TSoundSource& s, TSoundLibrary* l) { s.SetSoundLibrary(l); });
    String<TSoundSource>(source, "SoundName", [](TSoundSource& s, const std::string& v) { s.SetSoundName(v); });
    Float<TSoundSource>(source, "Volume", [](TSoundSource& s, double v) { s.SetVolume(float(v)); });
    Integer<TSoundSource>(source, "NbLoops", [](TSoundSource& s, int64_t v) { s.SetNbLoops(int32_t(v)); });
    Bool<TSoundSource>(source, "Mute", [](TSoundSource& s, bool v) { s.SetMute(v); });
    Bool<TSoundSource>(source, "Pause", [](TSoundSource& s, bool v) { s.SetPause(v); });
    Integer<TSoundSource>(source, "Priority", [](TSoundSource& s, int64_t v) { s.SetPriority(int32_t(v)); });
    Float<TSoundSource>(source, "MinDistance", [](TSoundSource& s, double v) { s.SetMinDistance(float(v)); });
    Float<TSoundSource>(source, "MaxDistance", [](TSoundSource& s, double v) { s.SetMaxDistance(float(v)); });
    Float<TSoundSource>(source, "InsideConeAngle", [](TSoundSource& s, double v) { s.SetInsideConeAngle(float(v)); });
    Float<TSoundSource>(source, "OutsideConeAngle", [](TSoundSource& s, double v) { s.SetOutsideConeAngle(float(v)); });
    Float<TSoundSource>(source, "ConeOutsideVolume",
                        [](TSoundSource& s, double v) { s.SetConeOutsideVolume(float(v)); });
    Integer<TSoundSource>(source, "Frequency", [](TSoundSource& s, int64_t v) { s.SetFrequency(int32_t(v)); });
    Reference<TSoundSource, TBaseSceneObject>(source, "Origin",
                                              [](TSoundSource& s, TBaseSceneObject* o) { s.SetOrigin(o); });

    ClassInfo& manager = r.Register("TSoundManager", "TComponent", nullptr);
    Bool<TSoundManager>(manager, "Active", [](TSoundManager& m, bool v) { m.SetActive(v); });
    Integer<TSoundManager>(manager, "MaxChannels", [](TSoundManager& m, int64_t v) { m.SetMaxChannels(int32_t(v)); });
    Integer<TSoundManager>(manager, "OutputFrequency",
                           [](TSoundManager& m, int64_t v) { m.SetOutputFrequency(int32_t(v)); });
    Bool<TSoundManager>(manager, "Mute", [](TSoundManager& m, bool v) { m.SetMute(v); });
    Bool<TSoundManager>(manager, "Pause", [](TSoundManager& m, bool v) { m.SetPause(v); });
    Float<TSoundManager>(manager, "MasterVolume", [](TSoundManager& m, double v) { m.SetMasterVolume(float(v)); });
    Reference<TSoundManager, TBaseSceneObject>(manager, "Listener",
                                               [](TSoundManager& m, TBaseSceneObject* o) { m.SetListener(o); });
    Property<TSoundManager>(manager, "Sources", [](TSoundManager& m, const PropValue& v, TReader& rd) {
        for (const auto& item : v.AsCollection("Sources")) rd.ApplyProperties("TSoundSource", item, m.Sources().Add());
    });
    Float<TSoundManager>(manager, "UpdateFrequency",
                         [](TSoundManager& m, double v) { m.SetUpdateFrequency(float(v)); });
    Reference<TSoundManager, TCadencer>(manager, "Cadencer", [](TSoundManager& m, TCadencer* c) { m.SetCadencer(c); });
    Float<TSoundManager>(manager, "DistanceFactor", [](TSoundManager& m, double v) { m.SetDistanceFactor(float(v)); });
    Float<TSoundManager>(manager, "RollOffFactor", [](TSoundManager& m, double v) { m.SetRollOffFactor(float(v)); });
    Float<TSoundManager>(manager, "Doppler", [](TSoundManager& m, double v) { m.SetDopplerFactor(float(v)); });
    Property<TSoundManager>(manager, "Environment", [](TSoundManager& m, const PropValue& v, TReader&) {
        m.SetEnvironment(EnvironmentOf(v));
    });

    r.Register("TSMFMOD", "TSoundManager", [](TComponent* o) { return new TSMFMOD(o); });
    // Behaviours are made by their list, not by the reader.
    r.Register("TBSoundEmitter", "", nullptr);
}

}  // namespace sauno
