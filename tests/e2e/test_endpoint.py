"""The master volume through the endpoint, on the stand-in for Wine's mmdevapi.dll
(Wine's own endpoint refuses every write, so everywhere else the program takes the
mixer): hotkeys change the endpoint, changes made on the stand-in's own thread turn
the tray image, a new default device takes the next change, and the device's
removal and return are survived; an audio service that answers late, and a failed
call, leave the endpoint in use."""

import unittest

import harness as h

HALF = 32768       # the stand-in's devices start at 0.5
STEP = 500         # one slow step
NO_DEVICE = -1
SERVICE_NOT_RUNNING = 0x88890010  # AUDCLNT_E_SERVICE_NOT_RUNNING
E_FAIL = 0x80004005


class EndpointTest(unittest.TestCase):
    def test_hotkeys_notifications_and_device_changes_on_the_endpoint(self):
        with h.Session(h.BIN_DIR, sound=False) as s:
            program = s.start_program_on_standin()
            s.start_desktop()
            state = s.endpoints()
            self.assertEqual((state["watchers"], [d["registered"] for d in state["devices"]]),
                             (1, [1, 0]))
            s.wait_for_tray_image("ENMUTEOFF")

            def device(index, what):
                return lambda: s.endpoints()["devices"][index][what]

            # Looking at the tray raises Wine's tray window over the display; a display
            # shown afresh comes back on top.
            def key_on_hidden_display(keys):
                h.wait_until(lambda: s.window()["visible"] == "0", 5, "the display to hide")
                s.key(keys)

            s.key("ctrl+alt+Prior")
            s.wait_for_display(HALF + STEP, "ON")
            self.assertEqual(device(0, "volume")(), HALF + STEP)

            # Nobody sends MM_MIXM_CONTROL_CHANGE here: the endpoint's own notification
            # of the program's change turns the tray.
            s.key("ctrl+alt+m")
            s.wait_for_display(HALF + STEP, "Mute")
            self.assertEqual(device(0, "mute")(), 1)
            s.wait_for_tray_image("ENMUTEON")

            # Another program unmutes and turns the volume down; the stand-in reports
            # it from its own thread.
            s.probe("endpoint-change", 0, 10000, 0)
            s.wait_for_tray_image("ENMUTEOFF")

            s.probe("endpoint-default", 1)
            h.wait_until(lambda: [d["registered"] for d in s.endpoints()["devices"]] == [0, 1],
                         5, "the controls to move to device 1")
            key_on_hidden_display("ctrl+alt+Next")
            s.wait_for_display(HALF - STEP, "ON")
            self.assertEqual((device(0, "volume")(), device(1, "volume")()),
                             (10000, HALF - STEP))

            # The last device goes: the controls are absent, the bar empty.
            s.probe("endpoint-default", NO_DEVICE)
            s.wait_for_tray_image("ENMUTEON")
            self.assertEqual(s.endpoints()["live"], 1, "only the enumerator is left")
            s.key("ctrl+alt+Prior")
            s.key("ctrl+alt+m")

            # It comes back and is used again without any action of the user's.
            s.probe("endpoint-default", 0)
            s.wait_for_tray_image("ENMUTEOFF")
            key_on_hidden_display("ctrl+alt+Prior")
            s.wait_for_display(10000 + STEP, "ON")
            self.assertEqual(device(0, "volume")(), 10000 + STEP)

            state = s.endpoints()
            print(f"stand-in: {state['notifications']} notifications made, writes per device "
                  f"{[d['writes'] for d in state['devices']]}, {state['live']} objects alive")
            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(program), 0)

    def test_late_service_and_failed_call_leave_the_endpoint_in_use(self):
        with h.Session(h.BIN_DIR, sound=False) as s:
            program = s.start_program_on_standin(service=SERVICE_NOT_RUNNING)
            s.start_desktop()
            s.wait_for_tray_image("ENMUTEON")  # as for absent controls
            self.assertEqual(s.endpoints()["watchers"], 0, "no enumerator yet")

            # The service comes up without a word: the program's own retry binds.
            s.probe("endpoint-service", 0)
            s.wait_for_tray_image("ENMUTEOFF", timeout=30)
            self.assertEqual(s.endpoints()["watchers"], 1)
            s.key("ctrl+alt+Prior")
            s.wait_for_display(HALF + STEP, "ON", timeout=10)
            self.assertEqual(s.endpoints()["devices"][0]["volume"], HALF + STEP)

            # The step's read fails, so nothing changes; the controls are bound anew
            # and the next step changes the volume.
            activations = s.endpoints()["activations"]
            s.probe("endpoint-fail", 1, E_FAIL)
            s.key("ctrl+alt+Next")
            h.wait_until(lambda: s.endpoints()["activations"] > activations, 10,
                         "the controls to be bound anew")
            self.assertEqual(s.endpoints()["failing"], 0)
            s.key("ctrl+alt+Next")
            h.wait_until(lambda: s.endpoints()["devices"][0]["volume"] < HALF + STEP, 10,
                         "the volume to change again")
            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(program), 0)


if __name__ == "__main__":
    h.main()
