"""The false-colour ramp (16384 entries, red/green/blue) by the same rule the converter
uses, for the peers that need it as data."""

CHANGES = [(0, 0, 164), (0, 170, 91), (0, 65, 0), (0, 20, 0), (0, 0, -95), (0, 0, -160),
           (170, 0, 0), (53, 0, 0), (32, 0, 0), (0, -32, 0), (0, -32, 0), (0, -63, 0),
           (0, -32, 0), (0, -96, 0), (0, 0, 128), (0, 0, 80), (0, 0, 47), (0, 128, 0),
           (0, 63, 0), (0, 64, 0)]


def ramp():
    table, start = [], [0, 0, 0]
    for change in CHANGES:
        for j in range(819):
            # int() truncates toward zero, as the rule asks.
            table.append(tuple(s + int(j * c / 819) for s, c in zip(start, change)))
        start = list(table[-1])
    table += [table[-1]] * 3 + [(255, 255, 255)]
    return table
