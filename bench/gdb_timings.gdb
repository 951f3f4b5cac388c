# Times a gdb session on the virtual bench: see "The debugger server" in
# the README for how to run it.
target extended-remote :3399
python import time; t0 = time.time()
load
python print("load: %.3f s" % (time.time() - t0))
compare-sections
python t0 = time.time()
stepi 100
python print("100 stepi: %.3f s" % (time.time() - t0))
python t0 = time.time()
dump binary memory /dev/null 0x20000000 0x20004000
python print("16 KB dump of SRAM: %.3f s" % (time.time() - t0))
detach
