# Sourced by scripts/lib.sh. Some virtual machines give user space no 32-bit mode, so
# Wine cannot start a 32-bit program on them. There the Wine half of the tests runs in
# an emulated x86-64 Debian 12 machine: QEMU without acceleration, the same Wine and
# the same tests, several times slower. Its disk is made once, in the build tree.
MACHINE=${SONALTO_MACHINE:-$BUILD/machine}
MACHINE_MIRROR=http://deb.debian.org/debian
MACHINE_PACKAGES=(wine wine32:i386 xvfb xdotool x11-utils imagemagick pulseaudio pulseaudio-utils
  libpulse0:i386 libxrandr2 python3 python3-yaml cmake locales fonts-wqy-microhei procps)
# Only what the machine's first seconds need: its disk, the project's shared folders.
MACHINE_MODULES=(virtio virtio_ring virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci
  virtio_blk crc16 crc32c_generic mbcache jbd2 ext4 9pnet 9pnet_virtio netfs fscache 9p)
MACHINE_MARK=$MACHINE/.sonalto-machine-3

can_run_32bit() { /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; }

install_machine_packages() {
  local package
  for package in qemu-system-x86 debootstrap cpio e2fsprogs; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' && continue
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      qemu-system-x86 debootstrap cpio e2fsprogs >/dev/null
    return
  done
}

# The machine's programs: Debian with its kernel, Wine and what the tests call.
make_machine_root() {
  local root=$MACHINE/root
  rm -rf "$root"
  debootstrap --variant=minbase --include=linux-image-amd64,busybox-static bookworm "$root" \
    "$MACHINE_MIRROR" >"$MACHINE/debootstrap.log" 2>&1 ||
    { tail -20 "$MACHINE/debootstrap.log" >&2; return 1; }
  chroot "$root" sh -c "dpkg --add-architecture i386 && apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      ${MACHINE_PACKAGES[*]} >/dev/null"
  local locale
  for locale in "${LOCALES[@]}"; do
    chroot "$root" localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
  done
  chroot "$root" apt-get clean
}

# Debian's kernel, and the modules it needs before its disk is mounted.
make_machine_boot() {
  local root=$MACHINE/root early=$MACHINE/early modules module
  modules=$(echo "$root"/lib/modules/*)
  rm -rf "$early" && mkdir -p "$early/bin" "$early/modules"
  cp "$root/bin/busybox" "$early/bin/"
  for module in "${MACHINE_MODULES[@]}"; do
    cp "$(find "$modules/kernel" -name "$module.ko" | head -1)" "$early/modules/"
  done
  echo "${MACHINE_MODULES[*]}" >"$early/modules/order"
  cp "$root"/boot/vmlinuz-* "$MACHINE/vmlinuz"
}

# Boots the machine for one command of this project and returns its exit code. The
# disk keeps what the machine wrote only while the machine is made; every later run
# leaves it as it was, so several may run at once.
boot_machine() {
  local keep=$1 job code=1
  shift
  job=$(mktemp -d "$BUILD/machine-job.XXXXXX")
  printf 'export SONALTO_BUILD=%q\ncd %q\n%s\n' "$BUILD" "$ROOT" "$*" >"$job/job.sh"
  cp "$ROOT/scripts/machine-early-init" "$MACHINE/early/init"
  (cd "$MACHINE/early" && find . | cpio -o -H newc 2>/dev/null | gzip -1) >"$job/initrd.gz"
  qemu-system-x86_64 -machine q35,accel=tcg -cpu max,smap=off -smp "$(nproc)" -m 6144 \
    -display none -vga none -serial stdio -monitor none -no-reboot ${keep:+-snapshot} \
    -kernel "$MACHINE/vmlinuz" -initrd "$job/initrd.gz" \
    -drive "file=$MACHINE/disk.img,format=raw,if=virtio,cache=unsafe" \
    -fsdev "local,id=project,path=$ROOT,security_model=passthrough,multidevs=remap" \
    -device virtio-9p-pci,fsdev=project,mount_tag=project \
    -fsdev "local,id=build,path=$BUILD,security_model=passthrough,multidevs=remap" \
    -device virtio-9p-pci,fsdev=build,mount_tag=build \
    -append "console=ttyS0 quiet mitigations=off sonalto.root=$ROOT sonalto.build=$BUILD sonalto.job=$job" \
    </dev/null
  if [ -f "$job/rc" ]; then code=$(cat "$job/rc"); else echo "The test machine stopped" \
    "before its job ended" >&2; fi
  rm -rf "$job"
  return "$code"
}

# Wine's first start in a prefix is its slowest step: made once, with the disk.
make_machine() {
  [ -f "$MACHINE_MARK" ] && return
  echo "Making the emulated test machine in $MACHINE (once, several minutes)"
  install_machine_packages
  mkdir -p "$MACHINE"
  make_machine_root
  make_machine_boot
  mke2fs -q -t ext4 -d "$MACHINE/root" -F "$MACHINE/disk.img" 16G
  rm -rf "$MACHINE/root"
  boot_machine "" 'source scripts/lib.sh && prepare_wineprefix'
  touch "$MACHINE_MARK"
}

# Runs a command of this project in the machine, with the project's folder and the
# build tree shared at the same paths it has here.
run_in_machine() {
  make_machine
  boot_machine snapshot "$@"
}
