-- Wireshark dissector for the frames that the smartdriver library exchanges with its discount and
-- cashless servers: the byte-stuffing and the 0xC0 terminator, the CRC-16/MODBUS, and every field of
-- the requests (types 1, 2 and 3) and of the replies (types 1 and 3 carry fields). A frame split over
-- several TCP segments is put back together before it is decoded.
--
--   tshark -X lua_script:smartdriver.lua -o smartdriver.discount_port:6010 \
--          -o smartdriver.cashless_port:6011 -r capture.pcap
-- or copy this file to ~/.local/lib/wireshark/plugins/ and set the ports under Preferences > Protocols.

-- The same file may be loaded twice: as the installed plugin and named with -X lua_script:. The second
-- Proto of the same name fails; that copy says so on standard error and stops, leaving the first at work.
local registered_now, proto = pcall(Proto, "smartdriver", "Smartdriver server frames")
if not registered_now then
  io.stderr:write("smartdriver.lua: the smartdriver dissector is already loaded; this copy is skipped ("
                  .. tostring(proto) .. ")\n")
  return
end

proto.prefs.discount_port = Pref.uint("Discount server port", 6010, "TCP port of the discount server")
proto.prefs.cashless_port = Pref.uint("Cashless server port", 6010, "TCP port of the cashless server")

-- Wireshark's checksum status values, so that the field reads like its other checksums.
local CRC_BAD, CRC_GOOD = 0, 1

local f = {
  server = ProtoField.string("smartdriver.server", "Server"),
  direction = ProtoField.string("smartdriver.direction", "Direction"),
  frame_length = ProtoField.uint32("smartdriver.frame_length", "Frame length on the wire"),
  escapes = ProtoField.uint32("smartdriver.escapes", "Escaped bytes"),
  lead = ProtoField.uint8("smartdriver.lead", "Lead byte", base.HEX),
  type = ProtoField.uint8("smartdriver.type", "Type"),
  counter = ProtoField.int32("smartdriver.counter", "Packet counter"),
  wallet = ProtoField.uint8("smartdriver.wallet", "Wallet"),
  quantity = ProtoField.int32("smartdriver.quantity", "Quantity, thousandths"),
  unit_price = ProtoField.int32("smartdriver.unit_price", "Unit price, hundredths"),
  card = ProtoField.string("smartdriver.card", "Card number"),
  approval = ProtoField.int32("smartdriver.approval", "Approval"),
  discounted_price = ProtoField.int32("smartdriver.discounted_price", "Discounted unit price, hundredths"),
  discount = ProtoField.uint8("smartdriver.discount", "Discount, tenths of a percent"),
  unread = ProtoField.bytes("smartdriver.unread", "Bytes the driver does not read"),
  crc = ProtoField.uint16("smartdriver.crc", "CRC-16/MODBUS", base.HEX),
  crc_computed = ProtoField.uint16("smartdriver.crc.computed", "Computed CRC", base.HEX),
  crc_status = ProtoField.uint8("smartdriver.crc.status", "CRC status", base.DEC,
                                {[CRC_BAD] = "Bad", [CRC_GOOD] = "Good"}),
  terminator = ProtoField.uint8("smartdriver.terminator", "Terminator", base.HEX),
}
proto.fields = f

local e = {
  bad_crc = ProtoExpert.new("smartdriver.crc.bad", "Bad CRC", expert.group.CHECKSUM, expert.severity.ERROR),
  short = ProtoExpert.new("smartdriver.short", "Frame too short for the fields of its type",
                          expert.group.MALFORMED, expert.severity.ERROR),
  bad_escape = ProtoExpert.new("smartdriver.escape.bad",
                               "0xD0 not followed by 0xC1 or 0xD1: the driver drops it",
                               expert.group.MALFORMED, expert.severity.WARN),
  unterminated = ProtoExpert.new("smartdriver.unterminated",
                                 "No 0xC0 terminator in this segment and TCP reassembly is off: "
                                 .. "frame decoded in part",
                                 expert.group.REASSEMBLE, expert.severity.WARN),
}
proto.experts = e

-- Bit operations of whichever Lua this Wireshark embeds: bit32 up to 5.2, native operators from 5.3.
local bxor, band, rshift
if bit32 then
  bxor, band, rshift = bit32.bxor, bit32.band, bit32.rshift
else
  bxor, band, rshift = load("return function(a, b) return a ~ b end, " ..
                            "function(a, b) return a & b end, function(a, n) return a >> n end")()
end

local function crc16(bytes, count)
  local crc = 0xFFFF
  for i = 1, count do
    crc = bxor(crc, bytes[i])
    for _ = 1, 8 do
      if band(crc, 1) == 1 then crc = bxor(rshift(crc, 1), 0xA001) else crc = rshift(crc, 1) end
    end
  end
  return crc
end

-- What each request type does on each server; with both ports equal the server cannot be told.
local request_kinds = {
  discount = {[1] = "sale start", [2] = "sale cancel", [3] = "discount request"},
  cashless = {[1] = "cashless sale", [2] = "return", [3] = "card query"},
}

local function request_kind(server, packet_type)
  if server == "discount or cashless" then
    local a, b = request_kinds.discount[packet_type], request_kinds.cashless[packet_type]
    return a and (a .. " or " .. b)
  end
  return request_kinds[server][packet_type]
end

local function units(value, scale, digits, suffix)
  return string.format(" (%." .. digits .. "f%s)", value / scale, suffix or "")
end

-- Undoes the stuffing the way the driver does: D0 C1 is C0, D0 D1 is D0, any other D0 is dropped.
-- Returns the message bytes (1-based), the count of escape pairs and the offsets of dropped D0s.
local function unstuff(raw)
  local bytes, escapes, dropped = {}, 0, {}
  local i = 1
  while i <= #raw do
    local b = raw:byte(i)
    local next_byte = raw:byte(i + 1)
    if b ~= 0xD0 then
      bytes[#bytes + 1] = b
      i = i + 1
    elseif next_byte == 0xC1 or next_byte == 0xD1 then
      bytes[#bytes + 1] = next_byte - 1
      escapes = escapes + 1
      i = i + 2
    else
      dropped[#dropped + 1] = i - 1
      i = i + 1
    end
  end
  return bytes, escapes, dropped
end

-- The message as a Tvb: the wire bytes themselves when nothing was stuffed, else a new data source.
local function message_tvb(wire, bytes, escapes, dropped)
  if escapes == 0 and #dropped == 0 then return wire end
  local array = ByteArray.new()
  array:set_size(#bytes)
  for i, b in ipairs(bytes) do array:set_index(i - 1, b) end
  return array:tvb("Unstuffed frame")
end

-- Field layouts after the header (lead, type, counter, wallet), by direction and type.
local function body_layout(is_request, packet_type)
  if is_request then
    if packet_type == 2 then return {{f.quantity, 7, 4}, {"card", 11, 5}} end
    if packet_type == 1 or packet_type == 3 then return {{f.quantity, 7, 4}, {f.unit_price, 11, 4}} end
  elseif packet_type == 1 or packet_type == 3 then
    return {{f.approval, 7, 4}, {f.discounted_price, 11, 4}, {f.discount, 15, 1}, {"card", 16, 5}}
  end
  return {}
end

local function card_text(msg, offset)
  local text = ""
  for i = 0, 4 do text = text .. string.format("%02X", msg(offset + i, 1):uint()) end
  return text
end

-- Adds the fields that fit into the body (the message before its CRC) and returns the Info text.
local function add_fields(tree, msg, body_length, is_request, server, terminated)
  local packet_type = body_length >= 2 and msg(1, 1):uint() or nil
  local fields = {{f.lead, 0, 1}, {f.type, 1, 1}, {f.counter, 2, 4}, {f.wallet, 6, 1}}
  for _, field in ipairs(body_layout(is_request, packet_type)) do fields[#fields + 1] = field end
  local info = {}
  local needed = 0
  for _, field in ipairs(fields) do
    local proto_field, offset, width = field[1], field[2], field[3]
    needed = offset + width
    if needed > body_length then break end
    local range = msg(offset, width)
    if proto_field == "card" then
      tree:add(f.card, range, card_text(msg, offset))
      info[#info + 1] = "card " .. card_text(msg, offset)
    else
      local item = tree:add(proto_field, range)
      local value = width == 1 and range:uint() or range:int()
      if proto_field == f.quantity then item:append_text(units(value, 1000, 3)) end
      if proto_field == f.unit_price or proto_field == f.discounted_price then
        item:append_text(units(value, 100, 2))
      end
      if proto_field == f.discount then item:append_text(units(value, 10, 1, "%")) end
      if proto_field == f.type and is_request then
        item:append_text(" (" .. (request_kind(server, value) or "unknown") .. ")")
      end
      if not is_request and (proto_field == f.counter or proto_field == f.wallet) then
        item:append_text(" (not read by the driver)")
      end
      -- The driver fails the operation of such a reply with the server's cancel.
      if proto_field == f.approval and value == 0 then
        item:append_text(" (refused)")
        info[#info + 1] = "refused"
      end
    end
  end
  if needed > body_length then
    if terminated then
      tree:add_proto_expert_info(e.short, string.format("Frame too short for the fields of its type: "
                                                        .. "%d message bytes before the CRC", body_length))
    end
  elseif body_length > needed then
    tree:add(f.unread, msg(needed, body_length - needed))
  end
  if packet_type then
    local kind = is_request and request_kind(server, packet_type)
    table.insert(info, 1, (is_request and "Request" or "Reply") .. " type " .. packet_type
                          .. (kind and (" (" .. kind .. ")") or ""))
  end
  return table.concat(info, ", ")
end

-- Decodes one frame: `wire` holds its bytes as sent, terminator included when there was one.
local function dissect_frame(wire, tree, is_request, server, terminated)
  local raw = wire:raw()
  local stuffed_length = terminated and #raw - 1 or #raw
  local bytes, escapes, dropped = unstuff(raw:sub(1, stuffed_length))
  local subtree = tree:add(proto, wire)
  subtree:add(f.server, server):set_generated()
  subtree:add(f.direction, is_request and "request" or "reply"):set_generated()
  subtree:add(f.frame_length, wire:len()):set_generated()
  subtree:add(f.escapes, escapes):set_generated()
  for _, offset in ipairs(dropped) do subtree:add_tvb_expert_info(e.bad_escape, wire(offset, 1)) end
  if not terminated then subtree:add_proto_expert_info(e.unterminated) end

  local msg = message_tvb(terminated and wire(0, stuffed_length):tvb() or wire:tvb(), bytes, escapes, dropped)
  local length = #bytes
  -- A piece without its end has no known CRC position: its bytes are all taken as fields.
  local body_length = terminated and math.max(length - 2, 0) or length
  local info = add_fields(subtree, msg, body_length, is_request, server, terminated)

  local bad = false
  if not terminated then
    info = (info == "" and "" or info .. " ") .. "[unterminated]"
  elseif length >= 2 then
    local received = bytes[length - 1] + 256 * bytes[length]
    local computed = crc16(bytes, length - 2)
    bad = received ~= computed
    subtree:add_le(f.crc, msg(length - 2, 2))
    subtree:add(f.crc_computed, computed):set_generated()
    subtree:add(f.crc_status, bad and CRC_BAD or CRC_GOOD):set_generated()
    if bad then
      subtree:add_proto_expert_info(e.bad_crc, string.format("Bad CRC: frame has 0x%04X, computed 0x%04X",
                                                             received, computed))
    end
  else
    bad = true
    subtree:add(f.crc_status, CRC_BAD):set_generated()
    subtree:add_proto_expert_info(e.bad_crc, "Bad CRC: the frame is too short to hold one")
  end
  if terminated then subtree:add(f.terminator, wire(wire:len() - 1, 1)) end
  if bad then info = (info == "" and "" or info .. " ") .. "[BAD CRC]" end
  if info ~= "" then subtree:append_text(", " .. info) end
  return info
end

local function server_of(port)
  local discount, cashless = proto.prefs.discount_port, proto.prefs.cashless_port
  if port == discount and port == cashless then return "discount or cashless" end
  return port == discount and "discount" or "cashless"
end

function proto.dissector(tvb, pinfo, tree)
  local length = tvb:len()
  local raw = tvb:raw()
  local is_request = pinfo.dst_port == proto.prefs.discount_port
                     or pinfo.dst_port == proto.prefs.cashless_port
  local server = server_of(is_request and pinfo.dst_port or pinfo.src_port)
  local infos = {}
  local offset = 0
  while offset < length do
    local stop = raw:find("\192", offset + 1, true)
    if not stop and pinfo.can_desegment > 0 then
      pinfo.desegment_offset = offset
      pinfo.desegment_len = DESEGMENT_ONE_MORE_SEGMENT
      break
    end
    local frame_end = stop or length
    infos[#infos + 1] = dissect_frame(tvb(offset, frame_end - offset), tree, is_request, server,
                                      stop ~= nil)
    offset = frame_end
  end
  if #infos > 0 then
    pinfo.cols.protocol = "SMARTDRIVER"
    pinfo.cols.info = table.concat(infos, "; ")
  end
  return length
end

-- The ports follow the preferences; both default to the driver's default 6010.
local tcp_ports = DissectorTable.get("tcp.port")
local registered = {}

local function register_ports()
  for port in pairs(registered) do tcp_ports:remove(port, proto) end
  registered = {}
  for _, port in ipairs({proto.prefs.discount_port, proto.prefs.cashless_port}) do
    if port > 0 and not registered[port] then
      tcp_ports:add(port, proto)
      registered[port] = true
    end
  end
end

function proto.prefs_changed()
  register_ports()
end

register_ports()
