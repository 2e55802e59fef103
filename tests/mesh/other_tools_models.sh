#!/usr/bin/env bash
# 3DS files written by other programs (Debian's collection of test models): each loads, with
# the mesh and triangle counts its file holds.
set -uo pipefail
inspect="$1"
dir=/usr/share/assimp/models/3DS
expect=(
  "CameraRollAnim.3ds:meshes 1 vertices 30 triangles 12"
  "CameraRollAnimWithChildObject.3ds:meshes 2 vertices 60 triangles 24"
  "TargetCameraAnim.3ds:meshes 1 vertices 30 triangles 12"
  "fels.3ds:meshes 1 vertices 2304 triangles 768"
  "test1.3ds:meshes 9 vertices 288 triangles 108"
  "RotatingCube.3DS:meshes 1 vertices 30 triangles 12"
  "cube_with_diffuse_texture.3DS:meshes 1 vertices 32 triangles 12"
  "cube_with_specular_texture.3DS:meshes 1 vertices 32 triangles 12"
  "cubes_with_alpha.3DS:meshes 5 vertices 150 triangles 60"
)
failed=0
for e in "${expect[@]}"; do
  file=${e%%:*}
  want=${e#*:}
  got=$("$inspect" model "$dir/$file" 2>&1 | tail -n 1)
  if [ "$got" != "$want" ]; then echo "FAIL: $file: $got (expected $want)"; failed=1; fi
done
[ $failed = 0 ] && echo "${#expect[@]} models of other programs read"
exit $failed
