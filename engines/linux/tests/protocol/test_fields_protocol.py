"""The field methods with no desktop at all: no display, no accessibility bus. Nothing may pretend
that a clipboard was saved, written or restored."""

import json
import os
import unittest

from test_protocol import ENGINE, converse


def reply_lines(requests):
    lines = ['{"id":%d,"method":"%s","params":%s}\n' % (index + 1, method, json.dumps(params))
             for index, (method, params) in enumerate(requests)]
    out, _, status = converse(lines)
    return {reply["id"]: reply for reply in map(json.loads, out)}, status


@unittest.skipUnless(os.access(ENGINE, os.X_OK), "the engine is not built: " + ENGINE)
class FieldsWithoutDesktop(unittest.TestCase):
    def test_every_field_method_answers_with_a_true_failure(self):
        unreachable = {"code": "failed", "message": "The clipboard could not be reached."}
        refused = {"code": "not_permitted", "message": "Accessibility is not granted."}
        cases = [
            ("clipboard.save", {}, unreachable),
            ("clipboard.write", {"text": "x", "transient": True}, unreachable),
            ("clipboard.restore", {"snapshot": "1", "ifChangeCount": 0},
             {"code": "unavailable", "message": "The engine holds no such snapshot."}),
            ("clipboard.release", {"snapshot": "1"},
             {"code": "unavailable", "message": "The engine holds no such snapshot."}),
            ("focus.prime", {}, refused),
            ("focus.read", {"surroundingChars": 10}, refused),
            ("focus.read", {"surroundingChars": 10, "pid": 2 ** 40},
             {"code": "unavailable", "message": "No running app has that pid."}),
            ("focus.read", {"surroundingChars": 10, "pid": os.getpid()}, refused),
            ("element.value", {"handle": "1"}, refused),
            ("input.paste", {}, refused),
        ]
        replies, status = reply_lines([(method, params) for method, params, _ in cases])
        self.assertEqual(status, 0)
        for index, (method, params, error) in enumerate(cases, start=1):
            with self.subTest(method=method, params=params):
                self.assertEqual(replies[index], {"id": index, "error": error})


if __name__ == "__main__":
    unittest.main()
