# The decode tool on a real capture: a few values of its JSON output, and a
# clear failure on a file it cannot read.
set(_capture ${CMAKE_SOURCE_DIR}/tests/data/captures/continuous_linky_1P_standard_TIC_sample.bin)
add_test(NAME vireluz_tic_decode_capture
  COMMAND sh -c "\"$<TARGET_FILE:vireluz-tic>\" decode --meter 2 --set 'CONFIG_PRG.GRAPHE IouPA=1' \"${_capture}\" | python3 -c \"
import json, sys
j = json.load(sys.stdin)
m = j['meters'][1]
assert j['packets'] == 12 and j['PacketCount'] == 12, (j['packets'], j['PacketCount'])
assert m['ADCO'] == '064468368739' and m['tariff_kind'] == 1 and m['identified'], m
assert j['fields']['Edit_index11']['text'].startswith('11887,'), j['fields']['Edit_index11']
assert j['fields']['Label_index11']['text'] == 'Index Base'
assert j['graphs'][1]['unit'] == 'VA' and j['graphs'][1]['samples'] == 11, j['graphs'][1]
assert j['MeasureTable'][9] == int(m['PAPP'])
assert j['meters'][0]['identified'] is False
\"")
add_test(NAME vireluz_tic_decode_each
  COMMAND sh -c "\"$<TARGET_FILE:vireluz-tic>\" decode --each --skip 0 - < \"${_capture}\" | python3 -c \"
import json, sys
lines = [json.loads(l) for l in sys.stdin]
assert len(lines) == 12 and [l['packets'] for l in lines] == list(range(1, 13))
assert lines[0]['meters'][0]['frame_count'] == 1
\"")
add_test(NAME vireluz_tic_decode_unreadable
  COMMAND sh -c "\"$<TARGET_FILE:vireluz-tic>\" decode /nonexistent/capture.bin 2> err.txt; rc=$?; test $rc -eq 2 && grep -q 'impossible de lire' err.txt")
set_tests_properties(vireluz_tic_decode_capture vireluz_tic_decode_each vireluz_tic_decode_unreadable
  PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8")
