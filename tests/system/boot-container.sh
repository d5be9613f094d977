#!/usr/bin/env bash
# Boots a throw-away system: systemd as PID 1 of a container (systemd-nspawn) whose root
# is an overlay of this machine's own / (lower /, upper a tmpfs), with the files of
# <install folder> in /opt/tavo. Run in a mount namespace of its own, so that the
# overlay and its tmpfs go away with the last process in it, whatever ends it:
#   unshare --mount --propagation private boot-container.sh <machine name> <install folder>
# The tmpfs covers /mnt in that namespace only, so nothing is left behind on this machine.
# It ends as systemd-nspawn (exec), whose child is the container's systemd; SIGTERM shuts
# the container down. Exit status 77: this machine cannot make the overlay.
set -euo pipefail
(($# == 2)) || { echo "usage: $0 <machine name> <install folder>" >&2; exit 2; }
machine=$1 install=$2 folder=/mnt
cannot() {
    echo "boot-container: $*" >&2
    exit 77
}

[[ -d $folder ]] || cannot "this machine has no $folder to mount the overlay's tmpfs on"
mount -t tmpfs -o mode=0755 tavo-system-test "$folder" ||
    cannot "cannot mount a tmpfs (needs root in a mount namespace of its own)"
mkdir "$folder/upper" "$folder/work" "$folder/root"
mount -t overlay overlay -o "lowerdir=/,upperdir=$folder/upper,workdir=$folder/work" \
    "$folder/root" || cannot "cannot mount an overlay of / (no overlayfs here)"
root=$folder/root

# A machine of its own: an empty machine-id would start the first-boot dialogue.
od -An -N16 -tx1 /dev/urandom | tr -d ' \n' >"$root/etc/machine-id"
echo >>"$root/etc/machine-id"
# None of this machine's enabled services start in the container.
rm -rf "$root"/etc/systemd/system/*.wants
# The program as an operator installs it: a folder everyone may read.
install -d -m 0755 "$root/opt/tavo"
for file in "$install"/*; do
    mode=0644
    [[ -x $file ]] && mode=0755
    install -m "$mode" "$file" "$root/opt/tavo/"
done

exec systemd-nspawn --quiet --directory="$root" --machine="$machine" --keep-unit \
    --register=no --private-network --boot
