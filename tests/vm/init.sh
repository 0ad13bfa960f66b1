#!/bin/sh
# The test machine's init (busybox): loads the USB gadget and input modules,
# builds the stand-in hub with configfs and FunctionFS, binds it to the dummy
# controller so that the host side enumerates a 2109:8822, then runs the
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
  insmod "/modules/$m.ko" || { say "insmod $m failed"; finish 1; }
done
mount -t configfs none /sys/kernel/config || finish 1

g=/sys/kernel/config/usb_gadget/hub
mkdir "$g"
echo 0x2109 > "$g/idVendor"
echo 0x8822 > "$g/idProduct"
mkdir "$g/strings/0x409"
echo "stand-in hub" > "$g/strings/0x409/product"
mkdir "$g/configs/c.1"
mkdir "$g/functions/ffs.hub"
ln -s "$g/functions/ffs.hub" "$g/configs/c.1/"
mkdir -p /dev/ffs-hub /run/hub
mount -t functionfs hub /dev/ffs-hub || finish 1
/bin/vm-stand-in-hub /dev/ffs-hub /run/hub/log /run/hub &
for _ in $(seq 100); do [ -e /run/hub/ready ] && break; sleep 0.05; done
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
