#!/usr/bin/env bash
# Real photographs for the benchmarks, taken from Debian's wallpaper packages
# (downloaded with apt-get download, unpacked here, not installed; the files
# stay out of the repository): ten 2560x1600 photos of KDE Plasma's wallpapers,
# nine of MATE's nature backgrounds (1920x1200 to 2560x1920) and a 6028x3391
# photo of a bird from Lomiri's wallpapers. All larger than 1600x1200.
#
#   bench/realphotos.sh <dir>      writes <dir>/<name>.jpg (keeping those there)
#                                  and prints their paths
set -euo pipefail
dir=$1
plasma=(BytheWater ColdRipple ColorfulCups DarkestHour EveningGlow FallenLeaf Grey Kite
        OneStandsOut Path)
mate=(Aqua Blinds Garden LadyBird RainDrops Storm TwoWings Wood YellowFlower)
names=("${plasma[@]}" "${mate[@]}" Kleiber)

mkdir -p "$dir"
missing=0
for n in "${names[@]}"; do [ -s "$dir/$n.jpg" ] || missing=1; done
if [ "$missing" = 1 ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    (cd "$work" && apt-get download -q plasma-workspace-wallpapers mate-backgrounds \
        lomiri-wallpapers-20.04 >/dev/null 2>&1) ||
        { echo "realphotos.sh: apt-get download failed (apt-get update first?)" >&2; exit 1; }
    for deb in "$work"/*.deb; do dpkg-deb -x "$deb" "$work/root"; done
    for n in "${plasma[@]}"; do
        cp "$work/root/usr/share/wallpapers/$n/contents/images/2560x1600.jpg" "$dir/$n.jpg"
    done
    for n in "${mate[@]}"; do cp "$work/root/usr/share/backgrounds/mate/nature/$n.jpg" "$dir/"; done
    cp "$work/root/usr/share/backgrounds/Kleiber_by_Lukas_Baubkus.jpg" "$dir/Kleiber.jpg"
fi
for n in "${names[@]}"; do echo "$dir/$n.jpg"; done
