#!/bin/sh
# The test machine's init (busybox): loads the USB gadget and input modules,
# builds the stand-in hub with configfs and FunctionFS, binds it to the first
# dummy controller so that the host side enumerates a 2109:8822 (a second
# one, /run/hub2, waits unbound for the case of two hubs), then runs the
# program that the kernel command line names (qs.run=cases or qs.run=bench)
# and powers off. Every line goes to the serial console.
export PATH=/bin:/sbin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp
mkdir -p /root /run
mount -t tmpfs run /run
export HOME=/root

say() { echo "vm: $*"; }
finish() {
  echo "=== vm: exit status $1"
  sync
  poweroff -f
}

for m in $(cat /modules/order); do
  # Two dummy controllers: the second carries a second device with the
  # hub's IDs while a case binds it.
  args=""
  [ "$m" = dummy_hcd ] && args="num=2"
  insmod "/modules/$m.ko" $args || { say "insmod $m failed"; finish 1; }
done
mount -t configfs none /sys/kernel/config || finish 1

# make_hub NAME: a gadget 2109:8822 answered by a stand-in hub of its own
# (FunctionFS on /dev/ffs-NAME, log and control files in /run/NAME), not
# bound to a controller yet.
make_hub() {
  g=/sys/kernel/config/usb_gadget/$1
  mkdir "$g"
  echo 0x2109 > "$g/idVendor"
  echo 0x8822 > "$g/idProduct"
  mkdir "$g/strings/0x409"
  echo "stand-in hub" > "$g/strings/0x409/product"
  mkdir "$g/configs/c.1"
  mkdir "$g/functions/ffs.$1"
  ln -s "$g/functions/ffs.$1" "$g/configs/c.1/"
  mkdir -p "/dev/ffs-$1" "/run/$1"
  mount -t functionfs "$1" "/dev/ffs-$1" || finish 1
  /bin/vm-stand-in-hub "/dev/ffs-$1" "/run/$1/log" "/run/$1" &
  for _ in $(seq 100); do [ -e "/run/$1/ready" ] && break; sleep 0.05; done
}
make_hub hub2
make_hub hub
udc=$(ls /sys/class/udc | head -n 1)
echo "$udc" > "$g/UDC" || { say "cannot bind the gadget to $udc"; finish 1; }
for _ in $(seq 100); do
  grep -qs 2109 /sys/bus/usb/devices/*/idVendor && break
  sleep 0.05
done
say "kernel $(uname -r), hub bound to $udc"

run=cases
for word in $(cat /proc/cmdline); do
  case "$word" in qs.run=*) run="${word#qs.run=}" ;; esac
done
case "$run" in
  cases) /bin/vm-cases /bin/quembrastella-switch /run/hub/log /run/hub "$g/UDC" "$udc" ;;
  bench) /bin/vm-bench /run/hub/log /bin/quembrastella-switch /bin/before/quembrastella-switch ;;
  shell) sh ;;
  *) say "unknown qs.run=$run"; false ;;
esac
finish $?
