{ A launching program: makes a block for a fixed minute, reads it back, then dials.

    example [path of CorvaneDialer]

  Without the path, the dialer is looked for where its package records its folder (Windows).
  The dial blocks the calling thread until the dialer ends: a program with a window makes it
  from a thread of its own, not from the one that runs the window. }
program example;

{$IFDEF FPC}{$MODE DELPHI}{$H+}{$ENDIF}
{$IFDEF MSWINDOWS}{$APPTYPE CONSOLE}{$ENDIF}

uses
  SysUtils,
  CorvaneLaunch in 'CorvaneLaunch.pas';

const
  Utf8CodePage = 65001;

var
  Items, ReadBack: TCorvaneItems;
  At: TCorvaneMinute;
  Block: UTF8String;
  DialResult: UInt32;
  Dialer: UTF8String;
  I: Integer;

function Utf8Of(const Text: WideString): UTF8String;
begin
  Result := UTF8Encode(Text);
end;

begin
  if ParamCount > 1 then
  begin
    Writeln(ErrOutput, 'usage: example [path of CorvaneDialer]');
    Halt(2);
  end;
  if ParamCount = 1 then
    Dialer := UTF8String(ParamStr(1))
  else
    Dialer := CorvaneInstalledDialer;
  if Dialer = '' then
  begin
    Writeln(ErrOutput, 'the dialer is not installed here: name its path');
    Halt(2);
  end;
  SetLength(Items, 5);
  Items[0] := 'C:\pb\rasphone.pbk';
  Items[1] := 'Office VPN';
  Items[2] := 'taro.yamada';
  // p@ss±w0rd§, spelt by code point so that no source encoding comes in between.
  Items[3] := Utf8Of('p@ss' + WideChar($00B1) + 'w0rd' + WideChar($00A7));
  Items[4] := '+81-3-1234-5678';
  try
    Writeln('abi version ', corvane_abi_version);

    At.Year := 2026;
    At.Month := 1;
    At.Day := 2;
    At.Hour := 3;
    At.Minute := 4;
    Block := CorvaneMakeBlock(Items, Utf8CodePage, @At);
    Writeln('block for 2026-01-02 03:04: ', RawByteString(Block));
    ReadBack := CorvaneReadBlock(Block, Utf8CodePage, @At);
    if Length(ReadBack) <> Length(Items) then
    begin
      Writeln(ErrOutput, 'read back: ', Length(ReadBack), ' items, not the ones made');
      Halt(1);
    end;
    for I := 0 to High(Items) do
      if RawByteString(ReadBack[I]) <> RawByteString(Items[I]) then
      begin
        Writeln(ErrOutput, 'read back: item ', I + 1, ' is not the one made');
        Halt(1);
      end;
    Writeln('read back: ', Length(ReadBack), ' items, the same');
    for I := 0 to High(ReadBack) do
      CorvaneWipeString(ReadBack[I]);

    // The dial makes this minute's block in the system's code page (0).
    DialResult := CorvaneDial(Dialer, Items, 0, 60000);
    if DialResult = CORVANE_DIAL_RESULT_UNKNOWN then
      Writeln('dial result unknown: the dialer''s end did not carry it')
    else
      Writeln('dial result ', DialResult, ': ', RawByteString(CorvaneExplain(DialResult)));
  except
    on E: ECorvaneLaunch do
    begin
      Writeln(ErrOutput, 'failed: ', E.Message, ' (return code ', E.Code, ')');
      Halt(1);
    end;
  end;
end.
