// The 26 standard environments, from the EFX preset tables, in listener-reverb units.
#include <AL/efx-presets.h>

#include <cmath>

#include "sound/smfmod.h"

namespace sauno {

namespace {

int32_t Millibels(float gain) { return gain > 0 ? static_cast<int32_t>(std::lround(2000.0 * std::log10(gain))) : -10000; }

platform::ReverbProperties FromEfx(uint32_t environment, const EFXEAXREVERBPROPERTIES& e)
{
    platform::ReverbProperties p;
    p.Environment = environment;
    p.EnvDiffusion = e.flDiffusion;
    p.Room = Millibels(e.flGain);
    p.RoomHF = Millibels(e.flGainHF);
    p.RoomLF = Millibels(e.flGainLF);
    p.DecayTime = e.flDecayTime;
    p.DecayHFRatio = e.flDecayHFRatio;
    p.DecayLFRatio = e.flDecayLFRatio;
    p.Reflections = Millibels(e.flReflectionsGain);
    p.ReflectionsDelay = e.flReflectionsDelay;
    for (int i = 0; i < 3; ++i) p.ReflectionsPan[i] = e.flReflectionsPan[i];
    p.Reverb = Millibels(e.flLateReverbGain);
    p.ReverbDelay = e.flLateReverbDelay;
    for (int i = 0; i < 3; ++i) p.ReverbPan[i] = e.flLateReverbPan[i];
    p.EchoTime = e.flEchoTime;
    p.EchoDepth = e.flEchoDepth;
    p.ModulationTime = e.flModulationTime;
    p.ModulationDepth = e.flModulationDepth;
    p.AirAbsorptionHF = static_cast<float>(Millibels(e.flAirAbsorptionGainHF));
    p.HFReference = e.flHFReference;
    p.LFReference = e.flLFReference;
    p.RoomRolloffFactor = e.flRoomRolloffFactor;
    p.Diffusion = e.flDiffusion * 100;
    p.Density = e.flDensity * 100;
    p.Flags = 0x1f | (e.iDecayHFLimit ? 0x20u : 0u);
    return p;
}

}  // namespace

const std::array<platform::ReverbProperties, SoundEnvironmentCount>& ReverbPresets()
{
    static const std::array<platform::ReverbProperties, SoundEnvironmentCount> presets = [] {
        const EFXEAXREVERBPROPERTIES efx[SoundEnvironmentCount] = {
            EFX_REVERB_PRESET_GENERIC,       EFX_REVERB_PRESET_PADDEDCELL,      EFX_REVERB_PRESET_ROOM,
            EFX_REVERB_PRESET_BATHROOM,      EFX_REVERB_PRESET_LIVINGROOM,      EFX_REVERB_PRESET_STONEROOM,
            EFX_REVERB_PRESET_AUDITORIUM,    EFX_REVERB_PRESET_CONCERTHALL,     EFX_REVERB_PRESET_CAVE,
            EFX_REVERB_PRESET_ARENA,         EFX_REVERB_PRESET_HANGAR,          EFX_REVERB_PRESET_CARPETEDHALLWAY,
            EFX_REVERB_PRESET_HALLWAY,       EFX_REVERB_PRESET_STONECORRIDOR,   EFX_REVERB_PRESET_ALLEY,
            EFX_REVERB_PRESET_FOREST,        EFX_REVERB_PRESET_CITY,            EFX_REVERB_PRESET_MOUNTAINS,
            EFX_REVERB_PRESET_QUARRY,        EFX_REVERB_PRESET_PLAIN,           EFX_REVERB_PRESET_PARKINGLOT,
            EFX_REVERB_PRESET_SEWERPIPE,     EFX_REVERB_PRESET_UNDERWATER,      EFX_REVERB_PRESET_DRUGGED,
            EFX_REVERB_PRESET_DIZZY,         EFX_REVERB_PRESET_PSYCHOTIC};
        std::array<platform::ReverbProperties, SoundEnvironmentCount> out;
        for (uint32_t i = 0; i < SoundEnvironmentCount; ++i) out[i] = FromEfx(i, efx[i]);
        return out;
    }();
    return presets;
}

}  // namespace sauno
